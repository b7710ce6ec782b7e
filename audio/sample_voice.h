#pragma once
// The one WAV-mode sample buffer as the audio thread plays it: a loop at its own rate with
// a linear-interpolating resampler, and a gain that ramps on every change so nothing clicks.
// Everything here runs on the audio thread (or inside offline rendering); nothing allocates.

#include <cstdint>
#include <vector>

namespace taktovi {

// Sample frames converted to float, interleaved, 1 or 2 channels. Built and freed on the UI
// thread; the audio thread only reads it between publish and retire.
struct SampleBuffer {
  std::vector<float> samples;
  uint32_t frames = 0;
  uint16_t channels = 1;
};

class SampleVoice {
 public:
  explicit SampleVoice(int deviceRate) : deviceRate_(deviceRate) {}

  // Length of a gain ramp; a change reaches its target this long after it is applied.
  static constexpr double kRampSeconds = 0.005;
  // Length of the fade that ends a tone.
  static constexpr double kFadeSeconds = 0.006;

  void publish(const SampleBuffer* b);
  const SampleBuffer* retire();
  void play(bool looping);
  void stop() { playing_ = false; }
  void setPosition(uint32_t frame);
  void setRate(uint32_t hz) { rate_ = hz; }
  void setGain(float target, double rampSeconds = kRampSeconds);
  // Silent at once (the output is gone: no ramp would ever be heard).
  void silence() { gain_ = target_ = step_ = 0, rampLeft_ = 0; }

  // Adds `frames` stereo frames of the voice to out (interleaved L/R).
  void render(float* out, int frames);

  const SampleBuffer* buffer() const { return buf_; }
  float currentGain() const { return gain_; }
  float targetGain() const { return target_; }
  bool playing() const { return playing_; }

 private:
  float sampleAt(uint32_t i, int ch) const;

  int deviceRate_;
  const SampleBuffer* buf_ = nullptr;
  double pos_ = 0;  // in source frames
  uint32_t rate_ = 44100;
  bool playing_ = false;
  bool looping_ = false;
  float gain_ = 0;
  float target_ = 0;
  float step_ = 0;
  int rampLeft_ = 0;
};

}  // namespace taktovi
