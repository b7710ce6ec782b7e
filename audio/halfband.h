#pragma once
// The built-in synthesizer runs at twice the output rate, so that its fixed 64-frame blocks,
// where a note can begin, are 32 output frames apart (0.67 ms at 48 kHz) instead of 64: this
// halves how far a tone's onset can sit from its planned frame. A half-band low-pass brings
// the synthesizer's output down to the output rate: a 65-tap windowed sinc (Blackman) with its
// cut at the output's Nyquist frequency, about 74 dB down from 0.6 of the output rate on. It
// delays what passes by exactly kDelay output frames.

#include <array>

namespace taktovi {

class HalfbandDecimator {
 public:
  static constexpr int kTaps = 65;
  static constexpr int kDelay = (kTaps - 1) / 4;  // output frames
  static constexpr int kMaxIn = 64;               // input frames a call takes at most

  HalfbandDecimator();

  // Takes `inFrames` (even, at most kMaxIn) frames at the input rate and writes half as many.
  void process(const float* inL, const float* inR, int inFrames, float* outL, float* outR);

 private:
  struct Channel {
    std::array<float, kTaps - 1 + kMaxIn> x{};  // the last kTaps-1 inputs, then the new ones
    void run(const float* in, int inFrames, float* out, const std::array<float, kTaps>& h);
  };
  std::array<float, kTaps> h_{};
  Channel left_, right_;
};

}  // namespace taktovi
