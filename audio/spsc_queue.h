#pragma once
// A bounded lock-free queue for one producer thread and one consumer thread. push never
// blocks: on a full queue it refuses the item and the caller decides what that means.

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>

namespace taktovi {

template <typename T>
class SpscQueue {
 public:
  // capacity is rounded up to a power of two; all storage is allocated here, once.
  explicit SpscQueue(size_t capacity) {
    size_t c = 2;
    while (c < capacity) c <<= 1;
    mask_ = c - 1;
    slots_ = std::make_unique<T[]>(c);
  }

  size_t capacity() const { return mask_ + 1; }

  // Producer side.
  bool push(const T& item) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) > mask_) return false;
    slots_[tail & mask_] = item;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }

  // Consumer side.
  const T* peek() const {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return nullptr;
    return &slots_[head & mask_];
  }
  void pop() { head_.store(head_.load(std::memory_order_relaxed) + 1, std::memory_order_release); }
  std::optional<T> tryPop() {
    const T* p = peek();
    if (p == nullptr) return std::nullopt;
    T item = *p;
    pop();
    return item;
  }

 private:
  std::unique_ptr<T[]> slots_;
  size_t mask_ = 0;
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
};

}  // namespace taktovi
