#pragma once
// Millisecond clocks on a steady time base. timeGetTime and GetTickCount are 32-bit
// millisecond counts that wrap after about 49.7 days; callers compare them by difference.

#include <cstdint>
#include <limits>

namespace taktovi {

// A command meant for the moment of its call, where a time may be given instead (a melody's
// tone passes the steady-clock time it is planned for).
inline constexpr int64_t kNow = std::numeric_limits<int64_t>::min();

class Clock {
 public:
  virtual ~Clock() = default;
  // Steady time in nanoseconds since an arbitrary origin; never goes backwards.
  virtual int64_t nowNs() const = 0;

  // The multimedia clock: milliseconds, wrapping.
  uint32_t timeGetTime() const { return static_cast<uint32_t>(nowNs() / 1'000'000); }
  // The system tick count: the same time base, wrapping.
  uint32_t GetTickCount() const { return static_cast<uint32_t>(nowNs() / 1'000'000); }
  // The steady time at which the clock showed millisecond `ms` (a value taken within the last
  // 24 days, or due within the next).
  int64_t nsOfMs(uint32_t ms) const {
    const int64_t nowMs = nowNs() / 1'000'000;
    return (nowMs - static_cast<int32_t>(static_cast<uint32_t>(nowMs) - ms)) * 1'000'000;
  }
};

// std::chrono::steady_clock.
class SteadyClock final : public Clock {
 public:
  int64_t nowNs() const override;
};

// A clock that moves only when told; tests drive exercises and waits with it.
class TestClock final : public Clock {
 public:
  explicit TestClock(int64_t startNs = 0) : now_(startNs) {}
  int64_t nowNs() const override { return now_; }
  void setNs(int64_t ns) { now_ = ns > now_ ? ns : now_; }
  void advanceNs(int64_t ns) { now_ += ns > 0 ? ns : 0; }
  void advanceMs(double ms) { advanceNs(static_cast<int64_t>(ms * 1e6)); }

 private:
  int64_t now_;
};

}  // namespace taktovi
