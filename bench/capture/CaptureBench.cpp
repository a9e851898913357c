// What the render hook adds to one 4,096-frame stereo render, beside a memcpy of the same 32 KB.
// The "real" render here does nothing, so the hooked render's time is the hook's own cost; the
// main queue is replaced by a no-op (dispatch_async is interposed in this binary).

#include <benchmark/benchmark.h>
#include <dispatch/dispatch.h>

#include <cstring>
#include <vector>

#include "Vellamor2/MediaServerHooks.h"

void dispatch_async(dispatch_queue_t, dispatch_block_t block) {
  benchmark::DoNotOptimize(block);
}

namespace {

constexpr UInt32 kFrames = 4096;

OSStatus renderNothing(AudioUnit, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                       UInt32, AudioBufferList*) {
  return noErr;
}

void BM_Capture_Render(benchmark::State& state) {
  MediaServerHooks::oldAUR = &renderNothing;
  std::vector<float> left(kFrames, 0.25f), right(kFrames, -0.25f);
  std::vector<unsigned char> storage(AudioBufferListSize(2));
  auto* list = reinterpret_cast<AudioBufferList*>(storage.data());
  list->mNumberBuffers = 2;
  list->mBuffers[0] = {1, kFrames * 4, left.data()};
  list->mBuffers[1] = {1, kFrames * 4, right.data()};
  AudioTimeStamp stamp{};
  for (auto _ : state) {
    stamp.mSampleTime += kFrames;
    AudioUnitRenderActionFlags flags = 0;
    benchmark::DoNotOptimize(MediaServerHooks::newAUR(nullptr, &flags, &stamp, 0, kFrames, list));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 2 * kFrames * 4);
}
BENCHMARK(BM_Capture_Render);

// The yardstick: one copy of the two channels' 32 KB.
void BM_Capture_Memcpy32K(benchmark::State& state) {
  std::vector<float> source(2 * kFrames, 0.5f), target(2 * kFrames);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), 2 * kFrames * 4);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * 2 * kFrames * 4);
}
BENCHMARK(BM_Capture_Memcpy32K);

}  // namespace
