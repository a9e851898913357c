#include "AllocationCount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> watchedSize{0};
std::atomic<int> watchedAllocations{0};

}  // namespace

void* operator new(std::size_t size) {
  if (size == watchedSize.load(std::memory_order_relaxed)) watchedAllocations.fetch_add(1);
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
// GCC takes the replaced pair for a mismatch once it inlines them into a caller.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}

namespace testing_support {

void watchAllocationsOf(std::size_t bytes) {
  watchedAllocations = 0;
  watchedSize = bytes;
}

int stopWatchingAllocations() {
  watchedSize = 0;
  return watchedAllocations.load();
}

}  // namespace testing_support
