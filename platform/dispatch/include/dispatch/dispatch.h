#pragma once
// Grand Central Dispatch as far as the system uses it: the main queue, served by the main run
// loop in every mode. Blocks capture nothing here, so a block is a plain function.
//
// dispatch_async onto the main queue is safe from a real-time thread: it takes no lock and
// allocates nothing. Work goes into a bounded ring (kDispatchMainQueueCapacity entries); when the
// ring is full the work is dropped and counted, never waited for.

#include <cstddef>
#include <cstdint>

using dispatch_queue_t = struct dispatch_queue_s*;
using dispatch_block_t = void (*)();
using dispatch_function_t = void (*)(void*);

inline constexpr std::size_t kDispatchMainQueueCapacity = 4096;

dispatch_queue_t dispatch_get_main_queue();

void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);
void dispatch_async_f(dispatch_queue_t queue, void* context, dispatch_function_t work);

// Platform extension: how many submissions the main queue has dropped because it was full.
uint64_t dispatch_main_queue_dropped_count();

// Platform extension: `observer` is called on the main thread after each work item of the main
// queue with the item's start and end (CLOCK_MONOTONIC, ns); null stops it. How a host times the
// main-thread work it did not write.
using dispatch_main_queue_observer_t = void (*)(uint64_t startNanoseconds, uint64_t endNanoseconds);
void dispatch_main_queue_set_observer(dispatch_main_queue_observer_t observer);
