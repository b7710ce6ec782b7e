#include "kit/quit_signals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QPointer>
#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <stdexcept>

namespace taktovi {

namespace {

// The write end of the active instance's socket pair, or -1. A signal handler can reach
// nothing else, so this is the one piece of static state; only the constructor and the
// destructor change it, the handler only reads it.
std::atomic<int> writeEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free, "the handler may only touch a lock-free atomic");

void writeSignalByte(int signal) {
  const int saved = errno;
  const int fd = writeEnd.load(std::memory_order_relaxed);
  if (fd >= 0) {
    const auto byte = static_cast<unsigned char>(signal);
    // Non-blocking: with the pair full, a quit is already pending.
    [[maybe_unused]] const ssize_t n = ::send(fd, &byte, 1, MSG_DONTWAIT | MSG_NOSIGNAL);
  }
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void(int)> callback, QObject* parent)
    : QObject(parent), onSignal_(std::move(callback)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0)
    throw std::runtime_error("quit signals: no socket pair");
  int expected = -1;
  if (!writeEnd.compare_exchange_strong(expected, fds_[0])) {
    ::close(fds_[0]);
    ::close(fds_[1]);
    throw std::runtime_error("quit signals: another instance is active");
  }
  notifier_ = new QSocketNotifier(fds_[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::readPending);
  for (size_t i = 0; i < kSignals.size(); ++i) {
    struct sigaction sa {};
    sa.sa_handler = writeSignalByte;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(kSignals[i], &sa, &previous_[i]);
  }
}

QuitSignals::~QuitSignals() {
  if (!ignoring_)
    for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
  writeEnd.store(-1);
  delete notifier_;
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void QuitSignals::ignoreUntilExit() {
  ignoring_ = true;
  for (int s : kSignals) signal(s, SIG_IGN);
  notifier_->setEnabled(false);  // nor does one already received reach the callback
}

void QuitSignals::readPending() {
  unsigned char bytes[16];
  const ssize_t n = ::recv(fds_[1], bytes, sizeof bytes, 0);  // more left: the notifier fires again
  // The callback may end the program and delete this object: it runs from a copy, and
  // nothing of this object is used once it is gone.
  const QPointer<QuitSignals> self(this);
  const auto callback = onSignal_;
  for (ssize_t i = 0; i < n && self; ++i) callback(bytes[i]);
}

}  // namespace taktovi
