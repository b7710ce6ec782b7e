#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "audio/timeline.h"

using namespace taktovi;

namespace {

// Feeds callbacks of 256 frames whose true pace is `nsPerFrame`, with uniform jitter, and
// returns the largest error (ms) of frameAt against the truth after `settle` callbacks.
double worstError(double nsPerFrame, double jitterMs, int callbacks, int settle) {
  Timeline tl(48000);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> jitter(-jitterMs * 1e6, jitterMs * 1e6);
  double worst = 0;
  int64_t last = 0;
  for (int k = 0; k < callbacks; ++k) {
    const int64_t frame = int64_t{k} * 256;
    const double truth = frame * nsPerFrame;
    last = std::max(last, static_cast<int64_t>(truth + jitter(rng)));
    tl.update(last, frame);
    if (k < settle) continue;
    const double t = truth + 3.1e6;  // a call between two callbacks
    const double err = (tl.frameAt(static_cast<int64_t>(t)) - t / nsPerFrame) * nsPerFrame / 1e6;
    worst = std::max(worst, std::fabs(err));
  }
  return worst;
}

}  // namespace

TEST(Timeline, FiltersWakeUpJitter) {
  // +-2 ms of jitter on every callback: once settled, times map to within 0.1 ms.
  EXPECT_LT(worstError(1e9 / 48000, 2.0, 20000, 4000), 0.1);
}

TEST(Timeline, FollowsADeviceThatRunsFastOrSlow) {
  for (double factor : {0.96, 0.999, 1.0004, 1.03}) {
    EXPECT_LT(worstError(1e9 / 48000 * factor, 0.05, 4000, 400), 0.05) << factor;
  }
}

TEST(Timeline, RelocksAfterAStall) {
  Timeline tl(48000);
  const double nsPerFrame = 1e9 / 48000;
  for (int k = 0; k < 100; ++k) tl.update(static_cast<int64_t>(k * 256 * nsPerFrame), k * 256);
  // The device stalls for 200 ms; the next block starts where it left off.
  const int64_t wake = static_cast<int64_t>(100 * 256 * nsPerFrame + 200e6);
  tl.update(wake, 100 * 256);
  EXPECT_EQ(tl.frameAt(wake), 100 * 256);
  EXPECT_EQ(tl.updates(), 1u);
}
