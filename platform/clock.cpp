#include "platform/clock.h"

#include <chrono>

namespace taktovi {

int64_t SteadyClock::nowNs() const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace taktovi
