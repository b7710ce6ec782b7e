#pragma once
// Maps steady-clock time to output frames. Each callback reports when it woke and which
// frame its block starts with; a second-order delay-locked loop filters the wake-up jitter
// out and follows the device's real rate, so a time maps to the same frame whatever the
// jitter, and the mapping does not drift away from a device whose clock runs fast or slow.
// The loop starts wide (it locks within a few callbacks) and narrows to about 0.01 Hz.

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

 private:
  void restart(int64_t wakeNs, int64_t frame);

  double nominalNsPerFrame_;
  double nsPerFrame_ = 0;
  int64_t baseNs_ = 0;  // integer base so the doubles stay small
  double timeNs_ = 0;   // filtered time of `frame_`, relative to baseNs_
  int64_t frame_ = 0;
  uint64_t count_ = 0;
  double lastError_ = 0;
};

}  // namespace taktovi
