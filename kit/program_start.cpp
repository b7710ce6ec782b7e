#include "kit/program_start.h"

#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <thread>

namespace taktovi {

namespace {

// How long a child that did not come up has after SIGTERM before SIGKILL.
constexpr std::chrono::milliseconds kGrace{1000};

// "\0taktovi-started-by-<pid>": abstract, so there is no file to create or leave behind.
sockaddr_un addressOf(pid_t starter, socklen_t& length) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  const std::string name = "taktovi-started-by-" + std::to_string(starter);
  std::memcpy(a.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return a;
}

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// The starter's end: listening under this process's name; -1 if the name cannot be had.
int listenAsStarter() {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  socklen_t length = 0;
  const sockaddr_un a = addressOf(::getpid(), length);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), length) != 0 || ::listen(fd, 4) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Readable once the process ends; -1 where the kernel has none. (glibc 2.36's pidfd_open is
// declared without C linkage.)
int pidfdOf(pid_t pid) {
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

// A started program, until it is up or has been ended and reaped.
class Child {
 public:
  Child(pid_t pid, int listener) : pid_(pid), listener_(listener), pidfd_(pidfdOf(pid)) {}

  // True once the child has reported and still runs; false when it ended, the patience ran
  // out, or the application quits meanwhile.
  bool waitUntilUp(std::chrono::milliseconds patience) {
    bool reported = false;
    QEventLoop loop;
    const auto finish = [&] { loop.quit(); };
    QSocketNotifier reports(listener_, QSocketNotifier::Read);
    QObject::connect(&reports, &QSocketNotifier::activated, &loop, [&] {
      reported = reported || takeReports();
      if (reported) finish();
    });
    // The pidfd turns readable when the child ends; without one, the child is looked at often.
    std::unique_ptr<QSocketNotifier> ended;
    QTimer look;
    if (pidfd_.get() >= 0) {
      ended = std::make_unique<QSocketNotifier>(pidfd_.get(), QSocketNotifier::Read);
      QObject::connect(ended.get(), &QSocketNotifier::activated, &loop, finish);
    } else {
      QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (!running()) finish();
      });
      look.start(20);
    }
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, finish);
    deadline.start(patience);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    // A child that reported and died at once has left no program either.
    return reported && running();
  }

  // SIGTERM, SIGKILL after the grace, and reaped.
  void end() {
    if (reaped_) return;
    ::kill(pid_, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + kGrace;
    while (running() && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (reaped_) return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
  }

 private:
  // Accepts what is pending; true when the child itself has connected.
  bool takeReports() const {
    bool fromChild = false;
    for (;;) {
      const Fd c(::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
      if (c.get() < 0) return fromChild;
      ucred peer{};
      socklen_t size = sizeof peer;
      if (::getsockopt(c.get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid == pid_)
        fromChild = true;
    }
  }

  // True while the child runs; an ended child is reaped here, so its pid is never signalled.
  bool running() {
    if (reaped_) return false;
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return true;
    reaped_ = r == pid_ || errno == ECHILD;
    return !reaped_;
  }

  pid_t pid_;
  int listener_;
  Fd pidfd_;
  bool reaped_ = false;
};

}  // namespace

bool SiblingProgramStarter::start(const std::string& fileName) {
  const Fd listener(listenAsStarter());
  if (listener.get() < 0) return false;
  std::string path = dir_ + fileName;
  char* argv[] = {path.data(), nullptr};
  pid_t pid = 0;
  if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
  Child child(pid, listener.get());
  if (child.waitUntilUp(patience_)) return true;
  child.end();
  return false;
}

void reportStartedTo(pid_t starter) {
  const Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (fd.get() < 0) return;
  socklen_t length = 0;
  const sockaddr_un a = addressOf(starter, length);
  // No listener (started from a shell or a menu): refused, and nothing more to do.
  [[maybe_unused]] const int r = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&a), length);
}

void reportStarted() {
  reportStartedTo(::getppid());
}

}  // namespace taktovi
