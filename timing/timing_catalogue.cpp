#include "timing/timing_catalogue.h"

#include "platform/rounding.h"

namespace taktovi {

namespace {

constexpr std::array<const char*, kTimingTasks> kTasks = {
    "1 1 1",                      // 0
    "4 4 4 4",                    // 1
    "3 3 3 R 3 3 3",              // 2
    "5 5 5 5 R 5 5 5 5",          // 3
    "2 2h 2h 2 2",                // 4
    "1 1h 1h 1 1 1 1h 1h 1 1",    // 5
    "2h 2h 2 2",                  // 6
    "6 6h 6h 6",                  // 7
    "3 3h 3h 3 3 3 3 3h 3h 3",    // 8
    "5 5 5h 5h 5 5 5 5h 5h 5",    // 9
    "4 4 4h 4h 4 4 4h 4h 4 4",    // 10
    "6 6 6h 6h 6",                // 11
    "3h 3h 3 3 R 3h 3h 3 3",      // 12
    "5h 5h 5 5 5 5h 5h 5 5 5",    // 13
    "3h 3h 3 3 3h 3h 3 3",        // 14
    "1 1h 1h 1 1 1h 1h 1",        // 15
    "4 4h 4h 4 R 4 4h 4h 4",      // 16
    "2 2h 2h 2 2 R 2 2h 2h 2 2",  // 17
    "5 5 5h 5h 5 R 5 5 5h 5h 5",  // 18
    "1 1h 1h 1 1 R 1 1 1h 1h 1",  // 19
    "5 5 5h 5h 5 R 5 5h 5h 5 5",  // 20
    "3h 3h 3 3 3 R 3h 3h 3 3 3",  // 21
    "2 4 4",                      // 22
    "3 4 5",                      // 23
    "6 5 5 5",                    // 24
    "1 3 1 1",                    // 25
    "5 5 4 5",                    // 26
    "6 5 4 3",                    // 27
    "1 3 3 1 3 3",                // 28
    "4 3 2 4 3 2",                // 29
    "6 5 6 6 5 6",                // 30
    "2 1 1 R 2 1 1",              // 31
    "3 5 3 R 3 5 3",              // 32
    "4 3 3 3 4 3 3 3",            // 33
    "2 3 2 2 2 3 2 2",            // 34
    "2 2 5 2 2 5 2 2",            // 35
    "1 2 3 4 1 2 3 4",            // 36
    "3 5 5 5 R 3 5 5 5",          // 37
    "4 2 4 4 R 4 2 4 4",          // 38
    "4 6 4 4 R 4 4 6 4",          // 39
    "4 4 2 4 R 4 2 4 4",          // 40
    "S W W",                      // 41
    "W S W",                      // 42
    "S W W W",                    // 43
    "W S W W",                    // 44
    "W W S W",                    // 45
    "S W W S W W",                // 46
    "W S W W S W",                // 47
    "S W W R S W W",              // 48
    "W S W R W S W",              // 49
    "S W W W S W W W",            // 50
    "S W W W R S W W W",          // 51
    "W S W W R W S W W",          // 52
    "W W S W R W W S W",          // 53
    "W S W W R W W S W",          // 54
    "W W S W R W S W W",          // 55
};

}  // namespace

TimingLadder makeTimingLadder(int screenWidth) {
  TimingLadder l;
  l.skaala = screenWidth * 0.00125;
  for (size_t k = 0; k < l.x_askel.size(); ++k)
    l.x_askel[k] = roundHalfEven(l.skaala * (32 + 40 * static_cast<int>(k)));
  const int rows[] = {232, 192, 152, 112};
  for (size_t r = 0; r < l.y_askel.size(); ++r) l.y_askel[r] = roundHalfEven(l.skaala * rows[r]);
  return l;
}

const char* timingTaskPattern(int tehtava) {
  return tehtava >= 0 && tehtava < kTimingTasks ? kTasks[static_cast<size_t>(tehtava)] : nullptr;
}

void rakenna_tehtava(int tehtava, const TimingLadder& ladder, const PatternSound& sound,
                     const RectanglePool& paneelit) {
  const char* pattern = timingTaskPattern(tehtava);
  if (pattern == nullptr) return;
  const std::vector<Element> elements = parsePattern(pattern);
  const std::vector<int> levels = levelsOf(elements);
  PatternPlace place;
  place.x = ladder.x_askel;
  // One or two levels start on the row of 192, three or four on the row of 232.
  const size_t lowest = levels.size() >= 3 ? 0 : 1;
  for (size_t i = 0; i < levels.size(); ++i)
    place.levelRow[static_cast<size_t>(levels[i])] = ladder.y_askel[lowest + i];
  place.otherRow = ladder.y_askel[1];
  writePattern(elements, place, sound, paneelit, 1);
}

}  // namespace taktovi
