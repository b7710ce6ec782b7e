#pragma once
// Every real that becomes an integer (positions, widths, the percentage) rounds to the
// nearest integer, halves to the even neighbour.

#include <cmath>
#include <cstdint>

namespace taktovi {

// nearbyint follows the current rounding mode, which is round-to-nearest-even unless a
// program changes it; this one never does.
inline int32_t roundHalfEven(double x) {
  return static_cast<int32_t>(std::nearbyint(x));
}

}  // namespace taktovi
