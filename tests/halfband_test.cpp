#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio/halfband.h"

using namespace taktovi;

// The synthesizer's output brought down to the output rate: the audible band passes whole, what
// would fold back into it is gone, and everything is late by exactly kDelay frames.
TEST(HalfbandDecimator, PassesTheBandRejectsWhatFoldsBackAndDelaysByItsFigure) {
  constexpr int kIn = 96000;
  auto peakOut = [](double hz, int64_t impulseAt = -1) {
    HalfbandDecimator d;
    std::vector<float> out;
    float inL[64], inR[64], outL[32], outR[32];
    for (int64_t at = 0; at < kIn / 4; at += 64) {
      for (int i = 0; i < 64; ++i) {
        inL[i] = impulseAt < 0
                     ? static_cast<float>(std::sin(2 * M_PI * hz * static_cast<double>(at + i) / kIn))
                     : static_cast<float>(at + i == impulseAt);
        inR[i] = -inL[i];
      }
      d.process(inL, inR, 64, outL, outR);
      for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(outR[j], -outL[j]);
        out.push_back(outL[j]);
      }
    }
    if (impulseAt >= 0) return static_cast<double>(std::max_element(out.begin(), out.end()) - out.begin());
    return static_cast<double>(*std::max_element(out.begin() + 1000, out.end()));
  };
  EXPECT_NEAR(peakOut(1000), 1.0, 0.01);
  EXPECT_NEAR(peakOut(15000), 1.0, 0.01);
  EXPECT_LT(peakOut(30000), 0.001);  // would sound at 18 kHz
  EXPECT_LT(peakOut(40000), 0.001);
  EXPECT_EQ(peakOut(0, 2000), 1000 + HalfbandDecimator::kDelay);
}
