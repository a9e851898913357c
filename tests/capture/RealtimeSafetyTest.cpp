// While the hook runs on the render thread it neither allocates nor locks. malloc and
// pthread_mutex_lock are interposed in this binary and count the calls made on the render thread
// while AudioUnitRender, hooked the way the daemon hooks it, is running.

#include <AudioToolbox/AudioToolbox.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <substrate.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "Vellamor2/MediaServerHooks.h"

extern "C" void* __libc_malloc(std::size_t);

namespace {

__attribute__((tls_model("initial-exec"))) thread_local bool counting = false;
std::atomic<long> allocations{0};
std::atomic<long> locks{0};

using MutexLock = int (*)(pthread_mutex_t*);
MutexLock nextMutexLock = nullptr;

}  // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* malloc(std::size_t size) {
  if (counting) allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
#endif

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
  if (counting) locks.fetch_add(1, std::memory_order_relaxed);
  if (nextMutexLock == nullptr) {
    nextMutexLock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  }
  return nextMutexLock(mutex);
}

namespace {

OSStatus fillWithRamp(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp* stamp, UInt32,
                      UInt32 frames, AudioBufferList* buffers) {
  for (UInt32 b = 0; b < buffers->mNumberBuffers; ++b) {
    auto* samples = static_cast<float*>(buffers->mBuffers[b].mData);
    for (UInt32 i = 0; i < frames; ++i) samples[i] = float(stamp->mSampleTime + i);
  }
  return noErr;
}

TEST(CaptureRealtime, TheHookedRenderNeitherAllocatesNorLocks) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "malloc belongs to the address sanitizer in this build";
#endif
  nextMutexLock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  void* render = dlsym(RTLD_DEFAULT, "AudioUnitRender");
  ASSERT_NE(render, nullptr);
  MSHookFunction(render, reinterpret_cast<void*>(&MediaServerHooks::newAUR),
                 reinterpret_cast<void**>(&MediaServerHooks::oldAUR));
  ASSERT_NE(MediaServerHooks::oldAUR, nullptr);

  AudioComponentDescription output{kAudioUnitType_Output, 0, 0, 0, 0};
  AudioUnit unit = nullptr;
  ASSERT_EQ(AudioComponentInstanceNew(AudioComponentFindNext(nullptr, &output), &unit), noErr);
  AURenderCallbackStruct callback{&fillWithRamp, nullptr};
  AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                       &callback, sizeof callback);

  constexpr UInt32 kFrames = 4096;
  std::vector<float> left(kFrames), right(kFrames);
  std::vector<unsigned char> storage(AudioBufferListSize(2));
  auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
  list->mNumberBuffers = 2;
  list->mBuffers[0] = {1, kFrames * 4, left.data()};
  list->mBuffers[1] = {1, kFrames * 4, right.data()};

  std::thread renderThread([&] {
    AudioTimeStamp stamp{};
    for (int i = 0; i < 10000; ++i) {
      stamp.mSampleTime = Float64(i + 1) * kFrames;
      AudioUnitRenderActionFlags flags = 0;
      counting = true;
      AudioUnitRender(unit, &flags, &stamp, 0, kFrames, list);
      counting = false;
    }
  });
  renderThread.join();

  EXPECT_EQ(allocations.load(), 0);
  EXPECT_EQ(locks.load(), 0);
  EXPECT_EQ(MediaServerHooks::mediaServerState.lastSampleTime, 10000.0 * kFrames);
  EXPECT_EQ(MediaServerHooks::mediaServerAudioData.data[1][kFrames - 1], 10000.0f * kFrames + 4095);
  AudioComponentInstanceDispose(unit);
}

// The counters themselves work: an allocation and a lock on a counted thread are seen.
TEST(CaptureRealtime, TheCountersSeeAllocationsAndLocks) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "malloc belongs to the address sanitizer in this build";
#endif
  const long allocationsBefore = allocations, locksBefore = locks;
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  std::thread([&] {
    counting = true;
    void* volatile block = malloc(64);
    pthread_mutex_lock(&mutex);
    counting = false;
    pthread_mutex_unlock(&mutex);
    free(block);
  }).join();
  EXPECT_EQ(allocations - allocationsBefore, 1);
  EXPECT_EQ(locks - locksBefore, 1);
}

}  // namespace
