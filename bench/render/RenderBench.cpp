// Rendering the plots' kinds of layer trees at 2× for a 375-point view (750 × 750 pixels),
// per rasteriser setting: 0 = Cairo best, 1 = Cairo best with column thinning, 2 = Cairo fast
// strokes, 3 = Cairo fast strokes with column thinning, 4 = AGG on Cairo, 5 = AGG on Cairo with
// column thinning, 6 = spans on Cairo, 7 = spans on Cairo with column thinning.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Renderer/Renderer.h"
#include "UIKit/UIKit.h"

namespace {

constexpr CGFloat kSide = 375;

render::RenderOptions optionsFor(std::int64_t variant) {
  render::RenderOptions options;
  options.rasterizer = variant >= 6   ? render::Rasterizer::spansOnCairo
                       : variant >= 4 ? render::Rasterizer::aggOnCairo
                       : variant >= 2 ? render::Rasterizer::cairoFast
                                      : render::Rasterizer::cairo;
  options.decimateDenseStrokes = variant % 2 == 1;
  return options;
}

std::vector<CGPoint> wave(std::size_t count, double phase) {
  std::vector<CGPoint> points(count);
  for (std::size_t i = 0; i < count; ++i) {
    points[i] = {static_cast<CGFloat>(i),
                 0.8 * std::sin(i * 0.031 + phase) * std::sin(i * 0.0017 + 2 * phase)};
  }
  return points;
}

StrongRef<UIView> viewWithBackground() {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, kSide, kSide));
  view->layer()->setBackgroundColor(UIColor::colorWithRed(0.1, 0.1, 0.1, 1)->CGColor());
  return view;
}

// The waveform plot's frame: two stroked channels of 4,096 points.
void BM_Render_WaveformLines(benchmark::State& state) {
  auto view = viewWithBackground();
  for (int c = 0; c < 2; ++c) {
    auto line = CAShapeLayer::layer();
    line->setFrame(view->bounds());
    line->setFillColor(nullptr);
    line->setStrokeColor(UIColor::greenColor()->CGColor());
    line->setLineJoin(kCALineJoinRound);
    const auto points = wave(4096, c);
    const CGAffineTransform t =
        CGAffineTransformScale(CGAffineTransformMakeTranslation(0, kSide * (c == 0 ? 0.75 : 0.25)),
                               kSide / 4096, -0.25 * kSide);
    cg::PathRef path = cg::PathRef::mutablePath();
    CGPathAddLines(path.get(), &t, points.data(), points.size());
    line->setPath(path.get());
    view->layer()->addSublayer(line);
  }
  render::Renderer renderer(optionsFor(state.range(0)));
  for (auto _ : state) renderer.draw(view);
}

// The waveform with fill on: two closed shapes of 4,098 points at alpha 0.4.
void BM_Render_WaveformFill(benchmark::State& state) {
  auto view = viewWithBackground();
  for (int c = 0; c < 2; ++c) {
    auto shape = CAShapeLayer::layer();
    shape->setFrame(view->bounds());
    shape->setFillColor(UIColor::colorWithRed(0, 1, 0, 0.4)->CGColor());
    auto points = wave(4096, c);
    const double f = c == 0 ? 0.75 : 0.25;
    points.push_back({4096, -4 * (1 - f)});
    points.push_back({0, -4 * (1 - f)});
    const CGAffineTransform t = CGAffineTransformScale(
        CGAffineTransformMakeTranslation(0, kSide * f), kSide / 4096, -0.25 * kSide);
    cg::PathRef path = cg::PathRef::mutablePath();
    CGPathAddLines(path.get(), &t, points.data(), points.size());
    CGPathCloseSubpath(path.get());
    shape->setPath(path.get());
    view->layer()->addSublayer(shape);
  }
  render::Renderer renderer(optionsFor(state.range(0)));
  for (auto _ : state) renderer.draw(view);
}

// The joyplot: 20 lines of 4,098 points, each filled with the background and stroked.
void BM_Render_JoyplotMasked(benchmark::State& state) {
  auto view = viewWithBackground();
  for (int i = 0; i < 20; ++i) {
    auto shape = CAShapeLayer::layer();
    shape->setFrame(view->bounds());
    shape->setFillColor(UIColor::colorWithRed(0.1, 0.1, 0.1, 1)->CGColor());
    shape->setStrokeColor(UIColor::whiteColor()->CGColor());
    shape->setLineJoin(kCALineJoinRound);
    auto points = wave(4096, i * 0.3);
    points.push_back({4096, 10});
    points.push_back({0, 10});
    const double yOff = i / 22.0 + 0.1 / 1.5;
    const CGAffineTransform t = CGAffineTransformScale(
        CGAffineTransformMakeTranslation(0, yOff * kSide), kSide / 4096, 0.1 * kSide);
    cg::PathRef path = cg::PathRef::mutablePath();
    CGPathAddLines(path.get(), &t, points.data(), points.size());
    CGPathCloseSubpath(path.get());
    shape->setPath(path.get());
    view->layer()->addSublayer(shape);
  }
  render::Renderer renderer(optionsFor(state.range(0)));
  for (auto _ : state) renderer.draw(view);
}

// The bars in amplitude colours: a three-stop gradient cut by a mask of 128 rectangles.
void BM_Render_BarsGradientMask(benchmark::State& state) {
  auto view = viewWithBackground();
  auto gradient = CAGradientLayer::layer();
  gradient->setFrame(view->bounds());
  gradient->setColors({UIColor::redColor()->CGColor(), UIColor::yellowColor()->CGColor(),
                       UIColor::greenColor()->CGColor()});
  gradient->setLocations({0.25, 0.5, 0.75});
  auto mask = CAShapeLayer::layer();
  mask->setFrame(view->bounds());
  cg::PathRef path = cg::PathRef::mutablePath();
  for (int j = 0; j < 128; ++j) {
    const double level = 0.5 + 0.5 * std::sin(j * 0.2);
    CGPathAddRect(path.get(), nullptr,
                  CGRectMake(j * kSide / 128 + 0.5, kSide / 2 - level * kSide / 4, kSide / 128 - 1,
                             level * kSide / 2));
  }
  mask->setPath(path.get());
  gradient->setMask(mask);
  view->layer()->addSublayer(gradient);
  render::Renderer renderer(optionsFor(state.range(0)));
  for (auto _ : state) renderer.draw(view);
}

// Reading the picture back as straight RGBA (only done when a picture is written).
void BM_Render_ImageReadback(benchmark::State& state) {
  auto view = viewWithBackground();
  render::Renderer renderer;
  renderer.draw(view);
  for (auto _ : state) benchmark::DoNotOptimize(renderer.image());
}

BENCHMARK(BM_Render_WaveformLines)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_WaveformFill)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_JoyplotMasked)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_BarsGradientMask)->Arg(0)->Arg(4)->Arg(6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Render_ImageReadback)->Unit(benchmark::kMillisecond);

}  // namespace
