#include "audio/halfband.h"

#include <algorithm>
#include <cmath>

namespace taktovi {

HalfbandDecimator::HalfbandDecimator() {
  constexpr int kMid = (kTaps - 1) / 2;
  double sum = 0;
  std::array<double, kTaps> h{};
  for (int n = 0; n < kTaps; ++n) {
    const int k = n - kMid;
    const double sinc = k == 0 ? 0.5 : std::sin(M_PI * k / 2) / (M_PI * k);
    const double w =
        0.42 - 0.5 * std::cos(2 * M_PI * n / (kTaps - 1)) + 0.08 * std::cos(4 * M_PI * n / (kTaps - 1));
    h[n] = sinc * w;
    sum += h[n];
  }
  for (int n = 0; n < kTaps; ++n) h_[n] = static_cast<float>(h[n] / sum);  // unity gain at DC
}

void HalfbandDecimator::Channel::run(const float* in, int inFrames, float* out,
                                     const std::array<float, kTaps>& h) {
  constexpr int kMid = (kTaps - 1) / 2;
  std::copy(in, in + inFrames, x.begin() + kTaps - 1);
  for (int j = 0; j < inFrames / 2; ++j) {
    const float* at = x.data() + 2 * j;  // the window ending at input 2j, centred on 2j-32
    float acc = h[kMid] * at[kMid];
    for (int n = 1; n < kTaps; n += 2) acc += h[n] * at[n];  // the even taps are zero
    out[j] = acc;
  }
  std::copy(x.begin() + inFrames, x.begin() + inFrames + kTaps - 1, x.begin());
}

void HalfbandDecimator::process(const float* inL, const float* inR, int inFrames, float* outL, float* outR) {
  left_.run(inL, inFrames, outL, h_);
  right_.run(inR, inFrames, outR, h_);
}

}  // namespace taktovi
