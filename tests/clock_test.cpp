#include <gtest/gtest.h>

#include "platform/clock.h"

using namespace taktovi;

TEST(Clock, MillisecondsWrapAt32Bits) {
  TestClock c((int64_t{1} << 32) * 1'000'000 - 2'000'000);  // 2 ms before the wrap
  const uint32_t before = c.timeGetTime();
  EXPECT_EQ(before, 0xFFFFFFFEu);
  c.advanceMs(5);
  EXPECT_EQ(c.timeGetTime(), 3u);
  EXPECT_EQ(c.timeGetTime() - before, 5u);  // differences stay right across the wrap
  EXPECT_EQ(c.GetTickCount(), c.timeGetTime());
  c.setNs(0);  // never backwards
  EXPECT_EQ(c.timeGetTime(), 3u);
}

TEST(Clock, SteadyClockMoves) {
  SteadyClock c;
  const int64_t a = c.nowNs();
  int64_t b = a;
  for (int i = 0; i < 1000000 && b == a; ++i) b = c.nowNs();
  EXPECT_GT(b, a);
}
