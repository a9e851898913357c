// The main queue's enqueue path, as the render thread uses it, must neither allocate nor lock; a
// warm exchange must not allocate. This binary watches chosen threads: every allocation and every
// mutex lock they make is counted.

#include <CoreFoundation/CFRunLoop.h>
#include <dispatch/dispatch.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <mach/mach.h>
#include <pthread.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "TempDevice.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELLAMOR_ALLOCATOR_HOOKS 1
// The sanitizer runtime owns malloc; it tells us about allocations through its hooks instead.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*));
#endif

namespace {

std::atomic<bool> watching{false};
std::atomic<pthread_t> watchedThread{};
std::atomic<pthread_t> alsoWatchedThread{};
std::atomic<int> allocations{0};
std::atomic<int> locks{0};

bool onWatchedThread() {
  return watching.load(std::memory_order_relaxed) &&
         (pthread_equal(pthread_self(), watchedThread.load(std::memory_order_relaxed)) ||
          pthread_equal(pthread_self(), alsoWatchedThread.load(std::memory_order_relaxed)));
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

#pragma pack(push, 4)
struct PacketRequest {
  mach_msg_header_t header;
  mach_msg_body_t body;
  mach_msg_ool_descriptor_t descriptor;
};
struct Acknowledgement {
  mach_msg_header_t header;
  mach_msg_body_t body;
  uint32_t length;
  uint32_t bytes;
};
#pragma pack(pop)
union ExchangeBuffer {
  PacketRequest request;
  char room[4208];
};

// The service's side: each request's body released and a 4-byte acknowledgement sent back.
void acknowledgeUntil(const std::atomic<bool>& stop, mach_port_t service) {
  ExchangeBuffer buffer;
  while (!stop) {
    if (mach_msg(&buffer.request.header, MACH_RCV_MSG | MACH_RCV_TIMEOUT, 0, sizeof buffer, service,
                 10, MACH_PORT_NULL) != MACH_MSG_SUCCESS)
      continue;
    if (buffer.request.header.msgh_bits & MACH_MSGH_BITS_COMPLEX)
      vm_deallocate(mach_task_self(),
                    reinterpret_cast<vm_address_t>(buffer.request.descriptor.address),
                    buffer.request.descriptor.size);
    Acknowledgement acknowledgement{};
    acknowledgement.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_MOVE_SEND_ONCE, 0);
    acknowledgement.header.msgh_size = sizeof acknowledgement;
    acknowledgement.header.msgh_remote_port = buffer.request.header.msgh_remote_port;
    acknowledgement.length = 4;
    mach_msg(&acknowledgement.header, MACH_SEND_MSG, sizeof acknowledgement, 0, MACH_PORT_NULL,
             MACH_MSG_TIMEOUT_NONE, MACH_PORT_NULL);
  }
}

// What the audio daemon's send block does per packet: a reply port made and destroyed, the packet
// out-of-line, the acknowledgement waited for.
mach_msg_return_t sendPacket(mach_port_t service, const std::array<char, 32784>& packet) {
  mach_port_t reply = MACH_PORT_NULL;
  if (mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &reply) != KERN_SUCCESS)
    return MACH_RCV_INVALID_NAME;
  ExchangeBuffer buffer{};
  PacketRequest& request = buffer.request;
  request.header.msgh_bits = MACH_MSGH_BITS(MACH_MSG_TYPE_COPY_SEND, MACH_MSG_TYPE_MAKE_SEND_ONCE) |
                             MACH_MSGH_BITS_COMPLEX;
  request.header.msgh_size = sizeof request;
  request.header.msgh_remote_port = service;
  request.header.msgh_local_port = reply;
  request.header.msgh_id = 1;
  request.body.msgh_descriptor_count = 1;
  request.descriptor.address = const_cast<char*>(packet.data());
  request.descriptor.copy = MACH_MSG_VIRTUAL_COPY;
  request.descriptor.type = MACH_MSG_OOL_DESCRIPTOR;
  request.descriptor.size = packet.size();
  const mach_msg_return_t status =
      mach_msg(&request.header, MACH_SEND_MSG | MACH_RCV_MSG | MACH_SEND_TIMEOUT | MACH_RCV_TIMEOUT,
               sizeof request, sizeof buffer, reply, 5000, MACH_PORT_NULL);
  mach_port_mod_refs(mach_task_self(), reply, MACH_PORT_RIGHT_RECEIVE, -1);
  return status;
}

TEST(ExchangeAllocation, WarmPacketExchangeAllocatesOnNeitherSide) {
  testing_support::TempDevice device;
  mach_port_t service = MACH_PORT_NULL;
  ASSERT_EQ(mach_port_allocate(mach_task_self(), MACH_PORT_RIGHT_RECEIVE, &service), KERN_SUCCESS);
  ASSERT_EQ(mach_port_insert_right(mach_task_self(), service, service, MACH_MSG_TYPE_MAKE_SEND),
            KERN_SUCCESS);
  std::atomic<bool> stop{false};
  std::thread server([&] {
    alsoWatchedThread = pthread_self();
    acknowledgeUntil(stop, service);
  });
  static const std::array<char, 32784> packet{};
  // The first exchanges make what the rest reuse: the pool, the spare reply port, the nodes.
  for (int i = 0; i < 20; ++i) ASSERT_EQ(sendPacket(service, packet), MACH_MSG_SUCCESS);
  allocations = 0;
  watchedThread = pthread_self();
  watching = true;
  int failed = 0;
  for (int i = 0; i < 200; ++i) failed += sendPacket(service, packet) != MACH_MSG_SUCCESS;
  watching = false;
  stop = true;
  server.join();
  mach_port_mod_refs(mach_task_self(), service, MACH_PORT_RIGHT_RECEIVE, -1);
  mach_port_deallocate(mach_task_self(), service);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(allocations.load(), 0);
}

}  // namespace
