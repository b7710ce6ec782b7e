#pragma once
// Drives an offline engine as a device would: callbacks of `period` frames at their nominal
// times (or late against them by up to `lateMs`, as a sound server's come), with the test clock
// moved to each command's call time.

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "audio/audio_engine.h"

namespace taktovi::test {

// An engine that renders offline, with these soundfonts and this plan.
inline AudioEngine::Options offline(std::vector<std::string> soundfonts = defaultSoundfonts(),
                                    SynthPlan plan = {}) {
  AudioEngine::Options o;
  o.output = AudioEngine::Output::Offline;
  o.soundfonts = std::move(soundfonts);
  o.synthPlan = std::move(plan);
  return o;
}

class OfflineRun {
 public:
  OfflineRun(AudioEngine& engine, TestClock& clock, double lateMs = 0, unsigned seed = 1)
      : engine_(engine), clock_(clock), lateNs_(lateMs * 1e6), rng_(seed) {}

  // Renders every callback whose nominal time is at or before t (ns), then sets the clock to t.
  void runUntil(int64_t tNs) {
    while (nominalNs(next_) <= tNs) {
      double j = 0;
      if (lateNs_ > 0) j = std::uniform_real_distribution<double>(0, lateNs_)(rng_);
      // A callback never wakes before the previous one.
      const int64_t wake = std::max(lastWake_, nominalNs(next_) + static_cast<int64_t>(j));
      lastWake_ = wake;
      const auto block = engine_.renderAt(wake, engine_.period());
      out.insert(out.end(), block.begin(), block.end());
      ++next_;
    }
    clock_.setNs(tNs);
  }
  void runMs(double ms) { runUntil(static_cast<int64_t>(ms * 1e6)); }

  // The frame a command called at t (ns) belongs to.
  int64_t expectedFrame(int64_t tNs) const {
    return std::llround(static_cast<double>(tNs + engine_.latencyNs()) * engine_.rate() / 1e9);
  }
  int64_t nominalNs(int64_t callback) const {
    return static_cast<int64_t>(std::llround(callback * engine_.period() * 1e9 / engine_.rate()));
  }

  // The first frame at or after `from` whose left sample exceeds the threshold; -1 if none.
  int64_t firstAbove(int64_t from, float threshold) const {
    for (size_t f = static_cast<size_t>(from); 2 * f < out.size(); ++f)
      if (std::fabs(out[2 * f]) > threshold) return static_cast<int64_t>(f);
    return -1;
  }
  double rms(int64_t from, int64_t to) const {
    double s = 0;
    for (int64_t f = from; f < to && 2 * static_cast<size_t>(f) < out.size(); ++f)
      s += out[2 * f] * out[2 * f];
    return std::sqrt(s / std::max<int64_t>(1, to - from));
  }
  float peak(int64_t from, int64_t to) const {
    float p = 0;
    for (int64_t f = from; f < to && 2 * static_cast<size_t>(f) + 1 < out.size(); ++f)
      p = std::max({p, std::fabs(out[2 * f]), std::fabs(out[2 * f + 1])});
    return p;
  }

  std::vector<float> out;  // interleaved L/R

 private:
  AudioEngine& engine_;
  TestClock& clock_;
  double lateNs_;
  std::mt19937 rng_;
  int64_t next_ = 0;
  int64_t lastWake_ = 0;
};

}  // namespace taktovi::test
