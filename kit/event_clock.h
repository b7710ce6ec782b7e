#pragma once
// When an input event happened, on the clock the program times its melodies with.
//
// Qt hands on the windowing system's own time of an event (QInputEvent::timestamp()):
// milliseconds in 32 bits that wrap. On X11 (xcb) that is the X server's time, on Wayland the
// compositor's; on a local desktop both run on CLOCK_MONOTONIC, the clock steady_clock and so
// our Clock run on. Another clock is no error (an X server on another machine, a program in its
// own time namespace, a compositor whose clock is not ours): every input event carries a time,
// so the difference between handling and event time over recent events has a lower envelope,
// near zero on our own clock and the offset on another one, as the audio timeline maps
// callbacks onto frames. An event's moment is its time plus that offset.
//
// Our own clock is taken as it is, to the millisecond: an envelope between a stamp a little
// ahead (rounding) and kSameClockNs behind means our clock. Events handled late by a busy
// stretch raise the envelope only when every event of the last kWindowNs was that late.

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/clock.h"

namespace taktovi {

class EventClock {
 public:
  explicit EventClock(const Clock& clock) : clock_(clock) {}

  // An input event stamped `timestamp` (the windowing system's milliseconds; 0: no time) is
  // being handled now.
  void observe(uint64_t timestamp);
  // The moment (steady ns) of an event stamped `timestamp` that is being handled now: its time
  // on our clock, or the moment of handling where it carries no time. Observes it too.
  int64_t momentOf(uint64_t timestamp);
  // What is added to an event's time on our clock (ns): 0 on our own clock.
  int64_t offsetNs() const;

  // Envelopes within these bounds are our own clock.
  static constexpr int64_t kAheadNs = 2'000'000;
  static constexpr int64_t kSameClockNs = 2'500'000'000;
  // How far back the envelope looks: a busy stretch this long moves it.
  static constexpr int64_t kWindowNs = 30'000'000'000;

 private:
  static constexpr int64_t kBucketNs = 1'000'000'000;
  static constexpr std::size_t kBuckets = kWindowNs / kBucketNs;
  struct Bucket {
    bool used = false;
    int64_t second = 0;  // the second of our clock whose least difference it holds
    int64_t leastNs = 0;
  };

  const Clock& clock_;
  std::array<Bucket, kBuckets> buckets_{};
};

}  // namespace taktovi
