// What a live frame costs, the lock screen's at 1× (the page's display size): drawn, read back
// and encoded as JPEG on the render server's thread, now (the artwork shrunk once and kept, one
// encoder reused) beside before (the artwork shrunk by Cairo's best filter every frame, a new
// encoder per frame at quality 82, a new picture per frame); the read-back alone, into one kept
// picture beside a new one per frame, at 1× and 2×; and the main thread's look at a screen that
// has not changed (snapshot and comparison, the plot's path made anew with the same points, as
// while paused).

#include <benchmark/benchmark.h>

#include "HostFrames/JpegEncoder.h"
#include "LockScreenLike.h"
#include "Renderer/LayerSnapshot.h"
#include "Renderer/Renderer.h"

namespace {

void BM_LiveFrame_Produce(benchmark::State& state) {
  const bool now = state.range(0) == 1;
  auto screen = lockScreenLike();
  render::RenderOptions options;
  options.scale = 1;
  options.keepShrunkImages = now;
  render::Renderer renderer(options);
  frames::JpegEncoder kept(80);
  render::Image keptPicture;
  std::size_t bytes = 0;
  for (auto _ : state) {
    renderer.drawSnapshot(*render::snapshotLayerTree(screen->layer()));
    if (now) {
      renderer.copyImage(keptPicture);
      bytes = kept.encode(keptPicture).size();
    } else {
      const render::Image picture = renderer.image();
      frames::JpegEncoder fresh(82);
      bytes = fresh.encode(picture).size();
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["jpeg_bytes"] = static_cast<double>(bytes);
}

// Arguments: kept (1) or a new picture per frame (0), scale.
void BM_LiveFrame_ReadBack(benchmark::State& state) {
  const bool kept = state.range(0) == 1;
  auto screen = lockScreenLike();
  render::RenderOptions options;
  options.scale = static_cast<double>(state.range(1));
  render::Renderer renderer(options);
  renderer.drawSnapshot(*render::snapshotLayerTree(screen->layer()));
  render::Image keptPicture;
  for (auto _ : state) {
    if (kept) {
      renderer.copyImage(keptPicture);
      benchmark::DoNotOptimize(keptPicture.rgba.data());
    } else {
      const render::Image picture = renderer.image();
      benchmark::DoNotOptimize(picture.rgba.data());
    }
  }
}

void BM_LiveFrame_LookAtUnchangedScreen(benchmark::State& state) {
  auto screen = lockScreenLike();
  auto* line = objc::cast<CAShapeLayer>(screen->subviews()[0]->layer()->sublayers()[0].get());
  cg::PathRef paths[2] = {cg::PathRef(line->path()),
                          cg::PathRef::adopt(CGPathCreateCopy(line->path()))};
  auto last = render::snapshotLayerTree(screen->layer());
  int tick = 0;
  for (auto _ : state) {
    line->setPath(paths[++tick % 2].get());
    auto tree = render::snapshotLayerTree(screen->layer());
    benchmark::DoNotOptimize(render::drawsTheSame(*tree, *last));
  }
}

BENCHMARK(BM_LiveFrame_Produce)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LiveFrame_ReadBack)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 2})
    ->Args({1, 2})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveFrame_LookAtUnchangedScreen)->Unit(benchmark::kMicrosecond);

}  // namespace
