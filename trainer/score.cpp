#include "trainer/score.h"

namespace taktovi {

int32_t percentOf(int32_t oikeat, int32_t yritykset) {
  if (yritykset <= 0) return 0;
  const int64_t scaled = int64_t{oikeat} * 100;
  int64_t q = scaled / yritykset;
  const int64_t twice = 2 * (scaled % yritykset);
  if (twice > yritykset || (twice == yritykset && q % 2 != 0)) ++q;
  return static_cast<int32_t>(q);
}

QString pointsText(const Score& s) {
  return QString("  %1").arg(s.oikeat);
}

QString percentText(const Score& s) {
  return s.yritykset > 0 ? QString("%1 %").arg(percentOf(s.oikeat, s.yritykset)) : QString();
}

}  // namespace taktovi
