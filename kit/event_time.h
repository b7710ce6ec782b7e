#pragma once
// When an input event happened, on the clock the program times its melodies with.
//
// Qt hands on the windowing system's own time of the event (QInputEvent::timestamp()). On X11
// (xcb) that is the X server's time: milliseconds of CLOCK_MONOTONIC, the clock steady_clock
// and so our Clock run on, in 32 bits that wrap. On Wayland it is the compositor's event time,
// milliseconds whose base the protocol leaves open; compositors built on libinput pass on its
// CLOCK_MONOTONIC times. A stamp is trusted only where it is plausible on our clock.

#include <cstdint>

namespace taktovi {

// Whether an event's `timestamp` can stand for its moment: present (not 0), not ahead of
// `nowMs`, and not before `notBeforeMs` (both clock milliseconds, compared wrap-safe).
// Otherwise the moment it is handled stands.
constexpr bool plausibleEventTime(uint64_t timestamp, uint32_t nowMs, uint32_t notBeforeMs) {
  const auto t = static_cast<uint32_t>(timestamp);
  return timestamp != 0 && static_cast<int32_t>(nowMs - t) >= 0 && static_cast<int32_t>(t - notBeforeMs) >= 0;
}

}  // namespace taktovi
