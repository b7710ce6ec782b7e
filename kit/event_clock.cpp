#include "kit/event_clock.h"

#include <algorithm>

namespace taktovi {

namespace {
int64_t floorDiv(int64_t a, int64_t b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}
}  // namespace

void EventClock::observe(uint64_t timestamp) {
  if (timestamp == 0) return;
  const int64_t now = clock_.nowNs();
  const int64_t difference = now - clock_.nsOfMs(static_cast<uint32_t>(timestamp));
  const int64_t second = floorDiv(now, kBucketNs);
  Bucket& b = buckets_[static_cast<std::size_t>(second - floorDiv(second, kBuckets) * kBuckets)];
  if (!b.used || b.second != second)
    b = {true, second, difference};
  else
    b.leastNs = std::min(b.leastNs, difference);
}

int64_t EventClock::offsetNs() const {
  const int64_t second = floorDiv(clock_.nowNs(), kBucketNs);
  bool seen = false;
  int64_t least = 0;
  for (const Bucket& b : buckets_) {
    if (!b.used || second - b.second >= static_cast<int64_t>(kBuckets)) continue;
    least = seen ? std::min(least, b.leastNs) : b.leastNs;
    seen = true;
  }
  if (!seen || (least >= -kAheadNs && least <= kSameClockNs)) return 0;
  return least;
}

int64_t EventClock::momentOf(uint64_t timestamp) {
  const int64_t now = clock_.nowNs();
  if (timestamp == 0) return now;
  observe(timestamp);
  // An event cannot have happened after it is handled (a stamp rounded up on our own clock).
  return std::min(now, clock_.nsOfMs(static_cast<uint32_t>(timestamp)) + offsetNs());
}

}  // namespace taktovi
