// The main queue's enqueue path, as the render thread uses it, must neither allocate nor lock.
// This binary watches one thread: every allocation and every mutex lock it makes is counted.

#include <CoreFoundation/CFRunLoop.h>
#include <dispatch/dispatch.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
#define VELLAMOR_ALLOCATOR_HOOKS 1
// The sanitizer runtime owns malloc; it tells us about allocations through its hooks instead.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#endif

namespace {

std::atomic<bool> watching{false};
std::atomic<pthread_t> watchedThread{};
std::atomic<int> allocations{0};
std::atomic<int> locks{0};

bool onWatchedThread() {
  return watching.load(std::memory_order_relaxed) &&
         pthread_equal(pthread_self(), watchedThread.load(std::memory_order_relaxed));
}

#if defined(VELLAMOR_ALLOCATOR_HOOKS)
void countAllocation(const volatile void*, size_t) {
  if (onWatchedThread()) ++allocations;
}
void ignoreFree(const volatile void*) {}
const bool hooksInstalled = __sanitizer_install_malloc_and_free_hooks(countAllocation, ignoreFree);
#endif

}  // namespace

extern "C" {

#if !defined(VELLAMOR_ALLOCATOR_HOOKS)
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);

void* malloc(size_t size) {
  if (onWatchedThread()) ++allocations;
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  if (onWatchedThread()) ++allocations;
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
  if (onWatchedThread()) ++allocations;
  return __libc_realloc(pointer, size);
}
#endif

int pthread_mutex_lock(pthread_mutex_t* mutex) {
  if (onWatchedThread()) ++locks;
  static auto real = reinterpret_cast<int (*)(pthread_mutex_t*)>(
      dlsym(RTLD_NEXT, "pthread_mutex_lock"));  // looked up on first use: locks come early
  return real(mutex);
}
int pthread_mutex_trylock(pthread_mutex_t* mutex) {
  if (onWatchedThread()) ++locks;
  static auto real =
      reinterpret_cast<int (*)(pthread_mutex_t*)>(dlsym(RTLD_NEXT, "pthread_mutex_trylock"));
  return real(mutex);
}
}

namespace {

std::atomic<int> served{0};
void serve(void*) {
  ++served;
}
void serveBlock() {
  ++served;
}

TEST(MainQueueRealtime, EnqueueFromAnotherThreadNeitherAllocatesNorLocks) {
  dispatch_queue_t queue = dispatch_get_main_queue();
  constexpr int kSubmissions = 1000;
  std::thread renderThread([queue] {
    // The counters must see something when the thread does allocate or lock.
    watchedThread = pthread_self();
    watching = true;
    void* volatile probe = std::malloc(16);  // volatile: the allocation must not be elided
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_mutex_lock(&mutex);
    pthread_mutex_unlock(&mutex);
    watching = false;
    std::free(probe);
    EXPECT_GE(allocations.exchange(0), 1);
    EXPECT_EQ(locks.exchange(0), 1);

    watching = true;
    for (int i = 0; i < kSubmissions / 2; ++i) {
      dispatch_async_f(queue, nullptr, serve);
      dispatch_async(queue, serveBlock);
    }
    watching = false;
  });
  renderThread.join();
  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(locks.load(), 0);
  for (int i = 0; i < 200 && served.load() < kSubmissions; ++i)
    CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.05, true);
  EXPECT_EQ(served.load(), kSubmissions);
}

}  // namespace
