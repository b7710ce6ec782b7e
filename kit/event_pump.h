#pragma once
// Handling pending window messages from inside a handler, and the two kinds of wait:
// waitUntil handles everything (input included) until the deadline; blockUntil keeps the
// window painted but defers user input, which is handled after the wait.

#include <cstdint>

#include "platform/clock.h"

class QEventLoop;

namespace taktovi {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Handles the messages pending now, once.
  virtual void processPending() = 0;
  // Handles messages as they come until the clock's milliseconds reach `deadlineMs`
  // (timeGetTime values; a deadline already past returns after one round of messages).
  virtual void waitUntil(uint32_t deadlineMs) = 0;
  // As waitUntil, but user input stays queued until a later round.
  virtual void blockUntil(uint32_t deadlineMs) = 0;
  // The program is closing: ends the wait in progress at once, and every later wait returns
  // after one round of messages.
  virtual void wake() = 0;
};

// Qt's event loop: a precise timer sleeps until shortly before the deadline, then a short
// spin on the clock meets it.
class QtEventPump final : public EventPump {
 public:
  explicit QtEventPump(const Clock& clock) : clock_(clock) {}
  void processPending() override;
  void waitUntil(uint32_t deadlineMs) override { wait(deadlineMs, false); }
  void blockUntil(uint32_t deadlineMs) override { wait(deadlineMs, true); }
  void wake() override;

 private:
  void wait(uint32_t deadlineMs, bool deferInput);
  const Clock& clock_;
  QEventLoop* loop_ = nullptr;  // the wait in progress
  bool woken_ = false;
};

}  // namespace taktovi
