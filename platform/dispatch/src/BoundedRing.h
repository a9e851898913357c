#pragma once
// A bounded multi-producer ring of work items (after Vyukov's bounded queue). Producers claim a
// cell with one compare-and-swap; nothing blocks and nothing allocates. One consumer drains it.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace dispatch_internal {

struct WorkItem {
  void (*function)(void*) = nullptr;
  void* context = nullptr;
};

template <std::size_t Capacity>
class BoundedRing {
  static_assert((Capacity & (Capacity - 1)) == 0, "capacity must be a power of two");
  static_assert(std::atomic<std::size_t>::is_always_lock_free);

 public:
  BoundedRing() {
    for (std::size_t i = 0; i < Capacity; ++i)
      cells_[i].sequence.store(i, std::memory_order_relaxed);
  }

  // False when the ring is full.
  bool push(WorkItem item) {
    std::size_t position = enqueuePosition_.load(std::memory_order_relaxed);
    for (;;) {
      Cell& cell = cells_[position & (Capacity - 1)];
      std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
      auto difference = static_cast<std::intptr_t>(sequence) - static_cast<std::intptr_t>(position);
      if (difference == 0) {
        if (enqueuePosition_.compare_exchange_weak(position, position + 1,
                                                   std::memory_order_relaxed)) {
          cell.item = item;
          cell.sequence.store(position + 1, std::memory_order_release);
          return true;
        }
      } else if (difference < 0) {
        return false;
      } else {
        position = enqueuePosition_.load(std::memory_order_relaxed);
      }
    }
  }

  // For the consumer: how many items are queued now (some may still be on their way in).
  std::size_t queued() const {
    return enqueuePosition_.load(std::memory_order_acquire) - dequeuePosition_;
  }

  // False when nothing is ready.
  bool pop(WorkItem& item) {
    std::size_t position = dequeuePosition_;
    Cell& cell = cells_[position & (Capacity - 1)];
    std::size_t sequence = cell.sequence.load(std::memory_order_acquire);
    if (sequence != position + 1) return false;
    item = cell.item;
    cell.sequence.store(position + Capacity, std::memory_order_release);
    dequeuePosition_ = position + 1;
    return true;
  }

 private:
  struct Cell {
    std::atomic<std::size_t> sequence{0};
    WorkItem item;
  };
  Cell cells_[Capacity];
  alignas(64) std::atomic<std::size_t> enqueuePosition_{0};
  alignas(64) std::size_t dequeuePosition_ = 0;  // the consumer's alone
};

}  // namespace dispatch_internal
