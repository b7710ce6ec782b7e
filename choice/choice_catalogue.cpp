#include "choice/choice_catalogue.h"

#include "platform/rounding.h"

namespace taktovi {

namespace {

// Pair p: upper task 2p, lower task 2p + 1.
constexpr std::array<const char*, kChoiceTasks> kTasks = {
    "1 1 1",
    "1 1 1 1",  // pair 0
    "3 3 3 R 3 3 3",
    "3 3 3 3 R 3 3 3 3",  // 1
    "5 5 5 R 5 5 5 5",
    "5 5 5 5 R 5 5 5",  // 2
    "2 2h 2h 2",
    "2h 2h 2 2",  // 3
    "6 6h 6h 6 6",
    "6 6 6h 6h 6",  // 4
    "4 4h 4h 4 R 4 4h 4h 4",
    "4h 4h 4 4 R 4h 4h 4 4",  // 5
    "1h 1h 1 1 1h 1h 1 1",
    "1h 1h 1 1 1 1h 1h 1 1 1",  // 6
    "3 3h 3h 3 3 R 3 3 3h 3h 3",
    "3 3 3h 3h 3 R 3 3h 3h 3 3",  // 7
    "4 2 2",
    "4 4 2",  // 8
    "5 5 1 5",
    "5 1 5 5",  // 9
    "5 5 6 R 6 5 5",
    "5 5 6 R 5 5 6",  // 10
    "2 4 2 2 R 2 2 4 2",
    "2 2 4 2 R 2 4 2 2",  // 11
    "3 5 5 3",
    "3 3 5 3",  // 12
    "5 4 5 5 R 5 5 4 5",
    "5 4 5 5 R 5 4 5 5",  // 13
    "4 3 3 R 4 3 3",
    "4 3 3 R 3 4 3",  // 14
    "6 5 5 6 5 5",
    "6 5 5 5 6 5",  // 15
    "1 3 3 3 R 3 1 3 3",
    "1 3 3 3 R 1 3 3 3",  // 16
    "3 6 6 6 3 6 6 6",
    "3 6 6 6 6 3 6 6",  // 17
    "4 2 2 4 2 2",
    "4 2 2 4 4 2",  // 18
    "5 6 6 6 5 5 6 6",
    "5 6 6 6 5 6 6 6",  // 19
    "1 6 6 R 1 1 6",
    "1 6 6 R 1 6 6",  // 20
    "4 1 1 1 R 4 1 1 1",
    "4 1 1 1 R 4 4 1 1",  // 21
    "S W W",
    "S W W W",  // 22
    "W W S",
    "S W W",  // 23
    "S W W W",
    "W W W S",  // 24
    "S W W W S W",
    "S W W S W W",  // 25
    "S W W W S W W W",
    "S W W S W W W W",  // 26
    "W S W W",
    "S W W W",  // 27
};

}  // namespace

ChoiceLadder makeChoiceLadder(int screenWidth) {
  ChoiceLadder l;
  l.skaala = screenWidth * 0.00125;
  for (int i = 1; i <= 18; ++i)
    l.x_askel[static_cast<size_t>(i)] = roundHalfEven(l.skaala * (20 + 30 * (i - 1)));
  l.y_ylempi = roundHalfEven(l.skaala * 42);
  l.y_alempi = roundHalfEven(l.skaala * 72);
  return l;
}

const char* choiceTaskPattern(int tehtava) {
  return tehtava >= 0 && tehtava < kChoiceTasks ? kTasks[static_cast<size_t>(tehtava)] : nullptr;
}

void rakenna_tehtava(int tehtava, const ChoiceLadder& ladder, const PatternSound& sound,
                     const RectanglePool& paneelit) {
  const char* pattern = choiceTaskPattern(tehtava);
  if (pattern == nullptr) return;
  const std::vector<Element> elements = parsePattern(pattern);
  const std::vector<int> levels = levelsOf(elements);
  PatternPlace place;
  place.x = std::span<const int32_t>(ladder.x_askel).subspan(1);  // one beat is two steps
  place.levelRow.fill(ladder.y_alempi);
  if (levels.size() == 2) place.levelRow[static_cast<size_t>(levels[1])] = ladder.y_ylempi;
  place.otherRow = ladder.y_alempi;
  writePattern(elements, place, sound, paneelit, firstSlotOf(tehtava % 2));
}

}  // namespace taktovi
