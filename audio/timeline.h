#pragma once
// Maps steady-clock time to output frames. Each callback reports when it woke and which
// frame its block starts with. A sound server consumes frames on a regular grid, and its
// callbacks wake on that grid or late against it (it asks for a block in pieces), never
// early: the mapping follows the earliest wake-ups of the last kWindowNs (their lower
// envelope): a block's time is when the server's grid reaches it, a time maps to the same
// frame however late the callbacks come, and a callback wakes no earlier than the time of the
// first frame it renders, so a command given a period before its frame's time is in time for
// it. When the server skips a stretch (its graph missed cycles) and from then on asks that
// much later, the envelope follows within a couple of seconds. A second-order delay-locked
// loop follows the device's real rate, so the mapping does not drift away from a device whose
// clock runs fast or slow; it starts wide (it locks within a few callbacks) and narrows to
// about 0.01 Hz.

#include <array>
#include <cstddef>
#include <cstdint>

namespace taktovi {

class Timeline {
 public:
  explicit Timeline(double nominalRate) : nominalNsPerFrame_(1e9 / nominalRate) {}

  // A callback woke at `wakeNs` to render the block starting at `frame`.
  void update(int64_t wakeNs, int64_t frame);
  // The frame that plays at `timeNs` (valid after the first update).
  int64_t frameAt(int64_t timeNs) const;
  // Jitter seen by the loop: the last wake-up's distance from its prediction.
  double lastErrorNs() const { return lastError_; }
  double nsPerFrame() const { return nsPerFrame_; }
  uint64_t updates() const { return count_; }

  // A wake-up this far from its prediction restarts the loop (a stall, a new device).
  static constexpr double kRelockNs = 50e6;
  static constexpr double kNarrowestGain = 0.0005;
  // How far back the envelope looks: long enough that a server's requests, which drift
  // against our blocks and wrap every few seconds, come on time at least once; short enough
  // to follow its grid when a dropout moves it later.
  static constexpr int64_t kWindowNs = 10'000'000'000;
  // A grid that moved later is followed once no wake-up of the last kStepWindowNs came within
  // kStepNs of the envelope: more than the requests' own pattern keeps above it (up to 2 ms
  // over 2 s through a loaded PulseAudio), less than a graph quantum of PipeWire (5.3 ms at
  // its smallest usual size).
  static constexpr int64_t kStepWindowNs = 2'000'000'000;
  static constexpr double kStepNs = 4e6;

 private:
  struct Wake {
    int64_t ns;
    int64_t frame;
  };
  // Enough for kWindowNs of 256-frame callbacks at 48 kHz; beyond, the window is shorter.
  static constexpr size_t kWindowCallbacks = 2048;

  void restart(int64_t wakeNs, int64_t frame);
  void remember(int64_t wakeNs, int64_t frame);

  double nominalNsPerFrame_;
  double nsPerFrame_ = 0;
  int64_t baseNs_ = 0;  // integer base so the doubles stay small
  double timeNs_ = 0;   // filtered time of `frame_`, relative to baseNs_
  int64_t frame_ = 0;
  uint64_t count_ = 0;
  double lastError_ = 0;
  double envelopeNs_ = 0;  // the envelope against the loop's line (<= 0)
  std::array<Wake, kWindowCallbacks> window_{};
  size_t oldest_ = 0;  // ring of the window's wake-ups
  size_t held_ = 0;
};

}  // namespace taktovi
