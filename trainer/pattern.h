#pragma once
// The pattern notation both catalogues are written in, and the builder that writes a pattern
// into pool slots. Tokens, blank-separated, in time order: 1-6 a pitched tone at that level
// (one beat), 1h-6h the same for half a beat, S a strong tone, W a weak tone, R a rest (one
// beat, silent, never drawn).

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "trainer/tomapaneli.h"

namespace taktovi {

struct Element {
  enum class Kind { Pitch, Strong, Weak, Rest };
  Kind kind = Kind::Pitch;
  int level = 0;      // 1-6 for a pitched tone
  bool half = false;  // half a beat
};

std::vector<Element> parsePattern(const char* pattern);
// The pitch levels a pattern uses, lowest first.
std::vector<int> levelsOf(const std::vector<Element>& pattern);

// Where the elements of one pattern go: x[h] is the left edge of an element with h half beats
// before it; levelRow[n] the top edge of a tone at level n; otherRow that of strong and weak
// tones (and what a rest stores).
struct PatternPlace {
  std::span<const int32_t> x;
  std::array<int32_t, 7> levelRow{};
  int32_t otherRow = 0;
};

// What a build copies into the slots: slot lengths and the pitch table (entries 1-9).
struct PatternSound {
  double isku;
  double puoli_isku;
  const std::array<int32_t, 10>& korkeudet;
};

// Writes the elements into slots first, first + 1, ... and vasen 0 into the slot after them.
void writePattern(const std::vector<Element>& pattern, const PatternPlace& place, const PatternSound& sound,
                  const RectanglePool& pool, int first);

}  // namespace taktovi
