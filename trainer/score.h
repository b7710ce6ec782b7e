#pragma once
// The score both trainers keep: right answers (points) and attempts, and how the two fields
// show them.

#include <QString>
#include <cstdint>

namespace taktovi {

struct Score {
  int32_t oikeat = 0;     // right answers since start or RESET
  int32_t yritykset = 0;  // answers judged since start or RESET
};

// oikeat / yritykset x 100 rounded to the nearest integer, halves to the even neighbour,
// computed exactly in integers (1 of 8 is 12, 23 of 40 is 58, 109 of 200 is 54).
int32_t percentOf(int32_t oikeat, int32_t yritykset);

// "  N": two blanks and the count.
QString pointsText(const Score& s);
// "P %"; nothing to show while no answer has been judged.
QString percentText(const Score& s);

}  // namespace taktovi
