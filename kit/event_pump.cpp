#include "kit/event_pump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace taktovi {

namespace {
// Milliseconds from now to the deadline, negative once it has passed (wrap-safe).
int32_t remaining(const Clock& c, uint32_t deadline) {
  return static_cast<int32_t>(deadline - c.timeGetTime());
}
constexpr int kSpinMs = 2;  // the timer wakes this early; the rest is a spin on the clock
}  // namespace

void QtEventPump::processPending() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::wake() {
  woken_ = true;
  if (loop_ != nullptr) loop_->quit();
}

void QtEventPump::wait(uint32_t deadlineMs, bool deferInput) {
  const auto flags = deferInput ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents;
  QCoreApplication::processEvents(flags);
  for (int32_t left = remaining(clock_, deadlineMs); left > 0 && !woken_;
       left = remaining(clock_, deadlineMs)) {
    if (left > kSpinMs) {
      QEventLoop loop;
      QTimer timer;
      timer.setTimerType(Qt::PreciseTimer);
      timer.setSingleShot(true);
      QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
      timer.start(left - kSpinMs);
      QEventLoop* outer = loop_;
      loop_ = &loop;
      loop.exec(flags);
      loop_ = outer;
    } else {
      QCoreApplication::processEvents(flags);
    }
  }
}

}  // namespace taktovi
