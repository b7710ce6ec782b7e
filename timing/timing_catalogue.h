#pragma once
// The timing trainer's 56 tasks, each one row of rectangles from slot 1, and the build that
// writes one of them into the rectangle pool.

#include <array>
#include <cstdint>

#include "trainer/pattern.h"
#include "trainer/tomapaneli.h"

namespace taktovi {

inline constexpr int kTimingTasks = 56;
inline constexpr int kTimingPool = 30;

// The layout ladders: positions scaled from the 800-pixel design.
struct TimingLadder {
  double skaala = 1;
  std::array<int32_t, 18> x_askel{};  // design x 32 + 40 k
  std::array<int32_t, 4> y_askel{};   // design y 232, 192, 152, 112: the lowest row first
};
TimingLadder makeTimingLadder(int screenWidth);

// The pattern of a task in the trainers' notation; null outside 0-55.
const char* timingTaskPattern(int tehtava);

// Writes task `tehtava` into slots 1 to n and the end marker into slot n + 1. Each pitch level
// the task uses keeps a row of its own, a higher level a higher row; strong and weak tones go
// on the row of design y 192. Outside 0-55 nothing is written.
void rakenna_tehtava(int tehtava, const TimingLadder& ladder, const PatternSound& sound,
                     const RectanglePool& paneelit);

}  // namespace taktovi
