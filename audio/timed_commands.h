#pragma once
// The audio thread's commands waiting for their frame, in the order of their times (those of
// one time in the order they came). Room for kCapacity, taken at construction: the audio thread
// never allocates. A melody handed over ahead waits here whole; a cancel drops what was planned
// for after it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace taktovi {

template <typename Command>
class TimedCommands {
 public:
  static constexpr size_t kCapacity = 4096;

  TimedCommands() { held_.reserve(kCapacity); }

  // False when full: the command stays with the caller.
  bool insert(const Command& c) {
    if (held_.size() == kCapacity) {
      if (head_ == 0) return false;
      compact();
    }
    const auto at = std::upper_bound(held_.begin() + static_cast<std::ptrdiff_t>(head_), held_.end(), c,
                                     [](const Command& a, const Command& b) { return a.timeNs < b.timeNs; });
    held_.insert(at, c);
    return true;
  }
  const Command* peek() const { return head_ < held_.size() ? &held_[head_] : nullptr; }
  void pop() {
    if (++head_ == held_.size()) clear();
  }
  // Drops the planned commands meant for after `timeNs`.
  void cancelPlannedAfter(int64_t timeNs) {
    compact();
    std::erase_if(held_, [&](const Command& c) { return c.planned && c.timeNs > timeNs; });
  }

 private:
  void clear() {
    held_.clear();
    head_ = 0;
  }
  void compact() {
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }

  std::vector<Command> held_;
  size_t head_ = 0;  // the first still waiting
};

}  // namespace taktovi
