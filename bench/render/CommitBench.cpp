// What a frame costs the main thread that commits it: a lock screen (375 × 667 points: gradient
// wallpaper, clock and track lines, a 512-pixel artwork and the waveform plot's two stroked
// channels of 4,096 points) committed as a snapshot for the render server, beside drawing the
// same screen on the main thread at 1× and 2× (what a capture cost it before), and the render
// server's own round trip (commit, draw, picture back).

#include <benchmark/benchmark.h>

#include <future>

#include "LockScreenLike.h"
#include "Renderer/LayerSnapshot.h"
#include "Renderer/RenderServer.h"
#include "Renderer/Renderer.h"
#include "UIKit/UIKit.h"

namespace {

void BM_Render_CommitLockScreen(benchmark::State& state) {
  auto screen = lockScreenLike();
  for (auto _ : state) benchmark::DoNotOptimize(render::snapshotLayerTree(screen->layer()));
}

// The baseline: the whole frame drawn on the main thread, at `scale` (1 or 2).
void BM_Render_DrawLockScreenOnMainThread(benchmark::State& state) {
  auto screen = lockScreenLike();
  render::RenderOptions options;
  options.scale = static_cast<double>(state.range(0));
  render::Renderer renderer(options);
  for (auto _ : state) {
    renderer.draw(screen.get());
    benchmark::DoNotOptimize(renderer.image());
  }
}

void BM_Render_RenderServerRoundTrip(benchmark::State& state) {
  auto screen = lockScreenLike();
  render::RenderServer server;
  for (auto _ : state) {
    std::promise<std::size_t> drawn;
    server.commit(render::snapshotLayerTree(screen->layer()), 1,
                  [&drawn](const render::Image& picture) { drawn.set_value(picture.width); });
    benchmark::DoNotOptimize(drawn.get_future().get());
  }
}

BENCHMARK(BM_Render_CommitLockScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Render_DrawLockScreenOnMainThread)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_RenderServerRoundTrip)->Unit(benchmark::kMillisecond);

}  // namespace
