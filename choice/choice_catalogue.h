#pragma once
// The choice trainer's 56 tasks (28 pairs: task 2p in the upper box, 2p + 1 in the lower) and
// the build that writes one of them into the rectangle pool.

#include <array>
#include <cstdint>

#include "trainer/pattern.h"
#include "trainer/tomapaneli.h"

namespace taktovi {

inline constexpr int kChoiceTasks = 56;
inline constexpr int kChoicePool = 32;
// The lower box's first slot: slots 1 to 20 lie in the upper box, 21 to 32 in the lower.
inline constexpr int kLowerFirstSlot = 21;
// The first and the last slot of a box: side 0 the upper box, 1 the lower.
constexpr int firstSlotOf(int side) {
  return side == 0 ? 1 : kLowerFirstSlot;
}
constexpr int lastSlotOf(int side) {
  return side == 0 ? kLowerFirstSlot - 1 : kChoicePool;
}

// The layout ladder: positions scaled from the 800-pixel design.
struct ChoiceLadder {
  double skaala = 1;
  std::array<int32_t, 19> x_askel{};  // entries 1-18
  int32_t y_ylempi = 42;
  int32_t y_alempi = 72;
};
ChoiceLadder makeChoiceLadder(int screenWidth);

// The pattern of a task in the trainers' notation; null outside 0-55.
const char* choiceTaskPattern(int tehtava);

// Writes task `tehtava` into the pool: in the upper box for an even task, in the lower for an odd
// one, and the end marker after it. A pattern with two levels puts the higher on the upper
// line. Outside 0-55 nothing is written.
void rakenna_tehtava(int tehtava, const ChoiceLadder& ladder, const PatternSound& sound,
                     const RectanglePool& paneelit);

}  // namespace taktovi
