#include "audio/timeline.h"

#include <algorithm>
#include <cmath>

namespace taktovi {

void Timeline::restart(int64_t wakeNs, int64_t frame) {
  baseNs_ = wakeNs;
  timeNs_ = 0;
  frame_ = frame;
  nsPerFrame_ = nominalNsPerFrame_;
  count_ = 1;
  lastError_ = 0;
  envelopeNs_ = 0;
  held_ = 0;
  remember(wakeNs, frame);
}

void Timeline::update(int64_t wakeNs, int64_t frame) {
  if (count_ == 0 || frame <= frame_) return restart(wakeNs, frame);
  const double frames = static_cast<double>(frame - frame_);
  const double predicted = timeNs_ + frames * nsPerFrame_;
  const double error = static_cast<double>(wakeNs - baseNs_) - predicted;
  if (std::fabs(error) > kRelockNs) return restart(wakeNs, frame);
  ++count_;
  // Gain falls like a running mean at first, then stays narrow; the rate term is set for
  // a well-damped loop.
  const double b = std::max(kNarrowestGain, 2.0 / static_cast<double>(count_ + 1));
  const double c = 0.7 * b * b;
  timeNs_ = predicted + b * error;
  nsPerFrame_ += c * error / frames;
  frame_ = frame;
  lastError_ = error;
  // Keep the base close so the doubles keep their precision over hours.
  if (timeNs_ > 1e12) {
    const auto shift = static_cast<int64_t>(timeNs_);
    baseNs_ += shift;
    timeNs_ -= static_cast<double>(shift);
  }
  remember(wakeNs, frame);
  // The envelope against the line as it stands now: the earliest wake-up of the window, and
  // of its last kStepWindowNs.
  double lowest = 0, recent = 0;
  size_t firstRecent = held_;
  for (size_t i = 0; i < held_; ++i) {
    const Wake& w = window_[(oldest_ + i) % kWindowCallbacks];
    const double line = timeNs_ + static_cast<double>(w.frame - frame_) * nsPerFrame_;
    const double offset = static_cast<double>(w.ns - baseNs_) - line;
    lowest = i == 0 ? offset : std::min(lowest, offset);
    if (wakeNs - w.ns > kStepWindowNs) continue;
    if (firstRecent == held_) {
      firstRecent = i;
      recent = offset;
    }
    recent = std::min(recent, offset);
  }
  // The grid moved later (the server skipped a stretch and asks from then on that much
  // later): the wake-ups before the step no longer tell where it is.
  if (firstRecent > 0 && firstRecent < held_ && recent - lowest > kStepNs) {
    oldest_ = (oldest_ + firstRecent) % kWindowCallbacks;
    held_ -= firstRecent;
    lowest = recent;
  }
  envelopeNs_ = lowest;
}

void Timeline::remember(int64_t wakeNs, int64_t frame) {
  while (held_ > 0 && (held_ == kWindowCallbacks || wakeNs - window_[oldest_].ns > kWindowNs)) {
    oldest_ = (oldest_ + 1) % kWindowCallbacks;
    --held_;
  }
  window_[(oldest_ + held_) % kWindowCallbacks] = {wakeNs, frame};
  ++held_;
}

int64_t Timeline::frameAt(int64_t timeNs) const {
  const double rel = static_cast<double>(timeNs - baseNs_) - timeNs_ - envelopeNs_;
  return frame_ + std::llround(rel / nsPerFrame_);
}

}  // namespace taktovi
