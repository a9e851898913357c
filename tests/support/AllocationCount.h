#pragma once
// Allocations of one size counted on every thread, through a replaced operator new: a test that
// links vellamor_allocation_count watches a picture's size to see whether frames allocate one.

#include <cstddef>

namespace testing_support {

// Counts the allocations of exactly `bytes` from now on, from zero.
void watchAllocationsOf(std::size_t bytes);
// Stops counting; the allocations counted while watching.
int stopWatchingAllocations();

}  // namespace testing_support
