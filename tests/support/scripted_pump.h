#pragma once
// An event pump on the test clock. Waiting moves the clock straight to the deadline, running
// on the way the actions scheduled for earlier times: user input (deferred while a blocking
// wait lasts, as real input would be) and observers (which look at the window at their
// time, in any wait). A whole melody takes no real time.

#include <QCoreApplication>
#include <QEventLoop>
#include <functional>
#include <map>

#include "kit/event_pump.h"

namespace taktovi::test {

class ScriptedPump final : public taktovi::EventPump {
 public:
  explicit ScriptedPump(TestClock& clock) : clock_(clock) {}

  // Schedules user input at clock time `ms`.
  void input(double ms, std::function<void()> f) { actions_.insert({toNs(ms), {true, std::move(f)}}); }
  // Schedules a look at the window at clock time `ms`.
  void observe(double ms, std::function<void()> f) { actions_.insert({toNs(ms), {false, std::move(f)}}); }
  // The test's own waiting: runs everything scheduled up to `ms`, even after the program
  // began to close.
  void runUntil(double ms) {
    ++waits_;
    run(true, toNs(ms), false);
  }
  size_t waits() const { return waits_; }

  void processPending() override {
    runDue(true, clock_.nowNs());
    QCoreApplication::processEvents();
  }
  // Deadlines are the clock's wrapping milliseconds, mapped through it as the real pump does.
  void waitUntil(uint32_t deadlineMs) override {
    ++waits_;
    run(true, clock_.nsOfMs(deadlineMs), true);
  }
  void blockUntil(uint32_t deadlineMs) override {
    ++waits_;
    run(false, clock_.nsOfMs(deadlineMs), true);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  }
  void wake() override { woken_ = true; }

 private:
  struct Action {
    bool isInput;
    std::function<void()> f;
  };
  static int64_t toNs(double ms) { return static_cast<int64_t>(ms * 1e6); }

  // Runs the due actions in time order, moving the clock to each; input only if allowed.
  bool runDue(bool inputAllowed, int64_t untilNs) {
    for (auto it = actions_.begin(); it != actions_.end(); ++it) {
      if (it->first > untilNs) return false;
      if (it->second.isInput && !inputAllowed) continue;
      clock_.setNs(it->first);
      auto f = std::move(it->second.f);
      actions_.erase(it);
      f();  // may run handlers, and waits, nested
      return true;
    }
    return false;
  }
  // Once the program is closing, its own waits return at once.
  void run(bool inputAllowed, int64_t deadlineNs, bool programWait) {
    const auto closing = [&] { return programWait && woken_; };
    while (!closing() && runDue(inputAllowed, deadlineNs)) {
    }
    if (!closing()) clock_.setNs(deadlineNs);
  }

  TestClock& clock_;
  std::multimap<int64_t, Action> actions_;
  size_t waits_ = 0;
  bool woken_ = false;
};

}  // namespace taktovi::test
