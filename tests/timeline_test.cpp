#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "audio/timeline.h"

using namespace taktovi;

namespace {

// Feeds callbacks of `period` frames whose true pace is `nsPerFrame`, each late against it by
// a uniform amount up to `lateMs` (as a sound server's come), and returns the largest error (ms)
// of frameAt against the truth after `settle` callbacks. From callback `stepAt` on, the server
// asks `stepMs` later (its graph skipped a stretch).
double worstError(double nsPerFrame, double lateMs, int callbacks, int settle, int period = 256,
                  int stepAt = -1, double stepMs = 0) {
  Timeline tl(48000);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> jitter(0, lateMs * 1e6);
  double worst = 0;
  int64_t last = 0;
  for (int k = 0; k < callbacks; ++k) {
    const int64_t frame = int64_t{k} * period;
    const double truth = frame * nsPerFrame + (stepAt >= 0 && k >= stepAt ? stepMs * 1e6 : 0);
    last = std::max(last, static_cast<int64_t>(truth + jitter(rng)));
    tl.update(last, frame);
    if (k < settle) continue;
    const double t = truth + 3.1e6;  // a call between two callbacks
    const double truthFrame = static_cast<double>(frame) + 3.1e6 / nsPerFrame;
    const double err =
        (static_cast<double>(tl.frameAt(static_cast<int64_t>(t))) - truthFrame) * nsPerFrame / 1e6;
    worst = std::max(worst, std::fabs(err));
  }
  return worst;
}

}  // namespace

TEST(Timeline, MapsOnTheEarliestWakeUps) {
  // 2048-frame callbacks up to 16 ms late (a server asking for each block in pieces): once the
  // window has filled, times map to the grid the callbacks are late against, not to their
  // mean (8 ms later), within 1 ms.
  EXPECT_LT(worstError(1e9 / 48000, 16.0, 3000, 300, 2048), 1.0);
}

TEST(Timeline, FollowsAServerThatNowAsksLater) {
  // PipeWire's graph skipped one quantum (10.7 ms) 25 s in, and every request comes that much
  // later: 2.5 s on, times map to the new grid, not for the window's whole ten seconds to the old.
  const int step = 586, after = step + 59;
  EXPECT_LT(worstError(1e9 / 48000, 0.3, after + 300, after, 2048, step, 10.667), 1.0);
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
