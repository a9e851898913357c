// What a frame costs the main thread that commits it: a lock screen (375 × 667 points: gradient
// wallpaper, clock and track lines, a 512-pixel artwork and the waveform plot's two stroked
// channels of 4,096 points) committed as a snapshot for the render server, beside drawing the
// same screen on the main thread at 1× and 2× (what a capture cost it before), and the render
// server's own round trip (commit, draw, picture back).

#include <benchmark/benchmark.h>

#include <cmath>
#include <future>
#include <vector>

#include "Renderer/LayerSnapshot.h"
#include "Renderer/RenderServer.h"
#include "Renderer/Renderer.h"
#include "UIKit/UIKit.h"

namespace {

StrongRef<UIView> lockScreenLike() {
  auto screen = UIView::viewWithFrame(CGRectMake(0, 0, 375, 667));
  auto wallpaper = CAGradientLayer::layer();
  wallpaper->setFrame(CGRectMake(0, 0, 375, 667));
  const CGColor top = CGColorMakeRGBA(0.1, 0.12, 0.22, 1), bottom = CGColorMakeRGBA(0, 0, 0, 1);
  wallpaper->setColors({&top, &bottom});
  screen->layer()->addSublayer(wallpaper.get());
  for (double y : {52.0, 132.0, 508.0, 538.0}) {
    auto line = CATextLayer::layer();
    line->setFrame(CGRectMake(16, y, 343, 28));
    line->setString("Tuesday, 8 December");
    line->setAlignmentMode(kCAAlignmentCenter);
    screen->layer()->addSublayer(line.get());
  }
  auto artwork = UIView::viewWithFrame(CGRectMake(27, 170, 320, 320));
  std::vector<std::uint8_t> rgba(512 * 512 * 4, 200);
  artwork->layer()->setContents(
      cg::ImageRef::adopt(CGImageCreateWithRGBA(512, 512, rgba.data(), 512 * 4)).get());
  screen->addSubview(artwork);
  for (int c = 0; c < 2; ++c) {
    auto line = CAShapeLayer::layer();
    line->setFrame(CGRectMake(0, 0, 320, 320));
    line->setFillColor(nullptr);
    line->setStrokeColor(UIColor::greenColor()->CGColor());
    std::vector<CGPoint> points(4096);
    for (std::size_t i = 0; i < points.size(); ++i)
      points[i] = {static_cast<CGFloat>(i), 0.8 * std::sin(i * 0.031 + c)};
    const CGAffineTransform t = CGAffineTransformScale(
        CGAffineTransformMakeTranslation(0, 320 * (c == 0 ? 0.75 : 0.25)), 320.0 / 4096, -80);
    cg::PathRef path = cg::PathRef::mutablePath();
    CGPathAddLines(path.get(), &t, points.data(), points.size());
    line->setPath(path.get());
    artwork->layer()->addSublayer(line.get());
  }
  return screen;
}

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
