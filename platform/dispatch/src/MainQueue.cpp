// The main queue: a bounded ring drained by a source that the main run loop serves in every mode,
// woken through one eventfd. Made when the library loads, on the main thread, so that the first
// submission (possibly from a real-time thread) finds everything in place.

#include <dispatch/dispatch.h>

#include <CoreFoundation/CFRunLoop.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "BoundedRing.h"

struct dispatch_queue_s {
  dispatch_internal::BoundedRing<kDispatchMainQueueCapacity> ring;
  int wakeDescriptor = -1;
  std::atomic<bool> wakePending{false};
  std::atomic<uint64_t> dropped{0};
  CFRunLoopSourceRef source = nullptr;
  dispatch_main_queue_observer_t observer = nullptr;  // main thread only
};

namespace {

// The main thread, known when the queue is made there: work that it queues for itself signals the
// queue's source rather than writing the eventfd, since its loop looks for signalled sources
// before it sleeps. (No thread-local here: the first touch of one may allocate, and real-time
// threads submit too.)
pthread_t mainThread{};
bool mainThreadKnown = false;

bool onMainThread() {
  return mainThreadKnown && pthread_equal(pthread_self(), mainThread) != 0;
}

dispatch_queue_s& mainQueue() {
  static dispatch_queue_s* queue = new dispatch_queue_s;
  return *queue;
}

uint64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
}

void wrapBlock(void* block) {
  reinterpret_cast<dispatch_block_t>(block)();
}

// The eventfd is a wake source (edge-triggered): a wake-up is served without reading it back.
void drain(int, void* info) {
  auto& queue = *static_cast<dispatch_queue_s*>(info);
  // Cleared before draining: a submission after this point wakes the queue again.
  queue.wakePending.store(false, std::memory_order_seq_cst);
  dispatch_internal::WorkItem item;
  // Only the work queued when this turn began: what comes meanwhile (work that submits work, a
  // render's send while a send waits for its reply) has woken the loop again and waits for the
  // next turn, so the loop's other sources are served in between.
  const std::size_t present = queue.ring.queued();
  for (std::size_t served = 0; served < present; ++served) {
    if (!queue.ring.pop(item)) return;
    const dispatch_main_queue_observer_t observer = queue.observer;
    const uint64_t start = observer != nullptr ? monotonicNanoseconds() : 0;
    item.function(item.context);
    if (observer != nullptr) observer(start, monotonicNanoseconds());
  }
}

__attribute__((constructor)) void attachMainQueue() {
  dispatch_queue_s& queue = mainQueue();
  queue.wakeDescriptor = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (queue.wakeDescriptor < 0) {
    std::perror("dispatch: eventfd");
    std::abort();
  }
  queue.source = CFRunLoopSourceCreateWithWakeDescriptor(queue.wakeDescriptor, drain, &queue);
  CFRunLoopAddSourceInAllModes(CFRunLoopGetMain(), queue.source);
  mainThread = pthread_self();
  mainThreadKnown = gettid() == getpid();
}

}  // namespace

dispatch_queue_t dispatch_get_main_queue() {
  return &mainQueue();
}

void dispatch_async_f(dispatch_queue_t queue, void* context, dispatch_function_t work) {
  if (!queue || !work) return;
  if (!queue->ring.push({work, context})) {
    queue->dropped.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  if (!queue->wakePending.exchange(true, std::memory_order_seq_cst)) {
    if (onMainThread()) {
      CFRunLoopSourceSignal(queue->source);
      return;
    }
    uint64_t one = 1;
    [[maybe_unused]] ssize_t written = write(queue->wakeDescriptor, &one, sizeof one);
  }
}

void dispatch_async(dispatch_queue_t queue, dispatch_block_t block) {
  if (!block) return;
  dispatch_async_f(queue, reinterpret_cast<void*>(block), wrapBlock);
}

uint64_t dispatch_main_queue_dropped_count() {
  return mainQueue().dropped.load();
}

void dispatch_main_queue_set_observer(dispatch_main_queue_observer_t observer) {
  mainQueue().observer = observer;
}
