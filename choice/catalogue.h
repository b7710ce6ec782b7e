#pragma once
// The choice trainer's 56 tasks (28 pairs: task 2p above, 2p + 1 below) and the build that
// writes one of them into the rectangle pool.

#include <array>
#include <cstdint>

#include "choice/tomapaneli.h"

namespace taktovi {

inline constexpr int kChoiceTasks = 56;
inline constexpr int kChoicePool = 32;  // 1-20 upper box, 21-32 lower box

// The layout ladder: positions scaled from the 800-pixel design.
struct ChoiceLadder {
  double skaala = 1;
  std::array<int32_t, 19> x_askel{};  // entries 1-18
  int32_t y_ylempi = 42;
  int32_t y_alempi = 72;
};
ChoiceLadder makeChoiceLadder(int screenWidth);

// The pattern of a task, in tokens: 1-6 pitch level, 1h-6h half beat, S strong, W weak, R rest.
const char* choiceTaskPattern(int tehtava);

// What a build reads besides the task number.
struct BuildInputs {
  const ChoiceLadder& ladder;
  double isku;
  double puoli_isku;
  const std::array<int32_t, 10>& korkeudet;
};

// Writes task `tehtava` into paneelit (index 1-32; index 0 unused): from slot 1 for an even
// task, from slot 21 for an odd one, and the end marker after it. Outside 0-55 nothing.
void rakenna_tehtava(int tehtava, const BuildInputs& in, const std::array<Tomapaneli*, kChoicePool + 1>& paneelit);

}  // namespace taktovi
