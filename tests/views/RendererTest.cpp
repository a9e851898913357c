// The renderer, checked by reading pixels back: fills, strokes, gradients, masks, opacity.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "Renderer/ImageComparison.h"
#include "Renderer/PathDecimation.h"
#include "Renderer/Renderer.h"
#include "TempDevice.h"
#include "UIKit/UIKit.h"

namespace {

using Pixel = std::array<std::uint8_t, 4>;

// Channels within `tolerance` levels.
::testing::AssertionResult near(const Pixel& actual, const Pixel& expected, int tolerance = 3) {
  for (int k = 0; k < 4; ++k) {
    if (std::abs(int(actual[k]) - int(expected[k])) > tolerance) {
      return ::testing::AssertionFailure()
             << "pixel (" << int(actual[0]) << "," << int(actual[1]) << "," << int(actual[2]) << ","
             << int(actual[3]) << ") is not (" << int(expected[0]) << "," << int(expected[1]) << ","
             << int(expected[2]) << "," << int(expected[3]) << ")";
    }
  }
  return ::testing::AssertionSuccess();
}

constexpr Pixel kWhite{255, 255, 255, 255}, kRed{255, 0, 0, 255}, kGreen{0, 255, 0, 255},
    kYellow{255, 255, 0, 255};

StrongRef<UIView> whiteView(CGFloat w, CGFloat h) {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, w, h));
  view->setBackgroundColor(UIColor::whiteColor());
  return view;
}

StrongRef<CAShapeLayer> shapeWithRect(CGRect rect, CGRect frame) {
  auto shape = CAShapeLayer::layer();
  shape->setFrame(frame);
  cg::PathRef path = cg::PathRef::adopt(CGPathCreateWithRect(rect, nullptr));
  shape->setPath(path.get());
  return shape;
}

TEST(Renderer, FilledRectHasItsColourInsideAndTheBackgroundOutsideAtTwiceTheScale) {
  auto view = whiteView(50, 40);
  auto shape = shapeWithRect(CGRectMake(10, 10, 20, 10), CGRectMake(0, 0, 50, 40));
  shape->setFillColor(UIColor::redColor()->CGColor());
  view->layer()->addSublayer(shape);
  const render::Image image = render::renderView(view);
  ASSERT_EQ(image.width, 100u);
  ASSERT_EQ(image.height, 80u);
  EXPECT_TRUE(near(image.pixel(40, 30), kRed));
  EXPECT_TRUE(near(image.pixel(20, 20), kRed)) << "first pixel inside";
  EXPECT_TRUE(near(image.pixel(19, 20), kWhite)) << "last pixel outside";
  EXPECT_TRUE(near(image.pixel(60, 39), kWhite));
  EXPECT_TRUE(near(image.pixel(2, 2), kWhite));
}

TEST(Renderer, SublayerFramesOffsetTheirPathsAndHiddenViewsAreSkipped) {
  auto view = whiteView(50, 50);
  auto shape = shapeWithRect(CGRectMake(0, 0, 10, 10), CGRectMake(20, 30, 10, 10));
  shape->setFillColor(UIColor::greenColor()->CGColor());
  view->layer()->addSublayer(shape);
  auto hidden = UIView::viewWithFrame(CGRectMake(0, 0, 50, 50));
  hidden->setBackgroundColor(UIColor::redColor());
  hidden->setHidden(true);
  view->addSubview(hidden);
  const render::Image image = render::renderView(view);
  EXPECT_TRUE(near(image.pixel(50, 70), kGreen));
  EXPECT_TRUE(near(image.pixel(10, 10), kWhite));
}

TEST(Renderer, StrokedLineCoversItsWidthWithTheStrokeColourAndNothingBeyond) {
  auto view = whiteView(50, 50);
  auto shape = CAShapeLayer::layer();
  shape->setFrame(view->bounds());
  shape->setFillColor(nullptr);
  shape->setStrokeColor(UIColor::redColor()->CGColor());
  shape->setLineWidth(2);
  shape->setLineJoin(kCALineJoinRound);
  const CGPoint line[] = {{5, 25}, {45, 25}};
  cg::PathRef path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), nullptr, line, 2);
  shape->setPath(path.get());
  view->layer()->addSublayer(shape);
  const render::Image image = render::renderView(view);
  // 2 points wide at 2× = rows 48 to 51.
  for (std::size_t row : {48u, 49u, 50u, 51u}) EXPECT_TRUE(near(image.pixel(50, row), kRed)) << row;
  EXPECT_TRUE(near(image.pixel(50, 46), kWhite));
  EXPECT_TRUE(near(image.pixel(50, 53), kWhite));
  EXPECT_TRUE(near(image.pixel(5, 49), kWhite)) << "butt cap: nothing before the start";
}

TEST(Renderer, GradientShowsItsColoursAtItsStopsAndTheMaskCutsItOut) {
  auto view = whiteView(40, 100);
  auto gradient = CAGradientLayer::layer();
  gradient->setFrame(view->bounds());
  gradient->setColors({UIColor::redColor()->CGColor(), UIColor::yellowColor()->CGColor(),
                       UIColor::greenColor()->CGColor()});
  gradient->setLocations({0.0, 0.5, 1.0});
  view->layer()->addSublayer(gradient);

  render::Renderer renderer;
  renderer.draw(view);
  render::Image image = renderer.image();
  EXPECT_TRUE(near(image.pixel(40, 0), kRed, 4));
  EXPECT_TRUE(near(image.pixel(40, 100), kYellow, 4));
  EXPECT_TRUE(near(image.pixel(40, 199), kGreen, 4));
  EXPECT_TRUE(near(image.pixel(40, 50), {255, 128, 0, 255}, 4)) << "halfway red to yellow";

  // The mask's filled path (the left half) keeps the gradient; the rest shows the background.
  auto mask = shapeWithRect(CGRectMake(0, 0, 20, 100), gradient->bounds());
  gradient->setMask(mask);
  renderer.draw(view);
  image = renderer.image();
  EXPECT_TRUE(near(image.pixel(10, 100), kYellow, 4));
  EXPECT_TRUE(near(image.pixel(70, 100), kWhite));
  EXPECT_TRUE(near(image.pixel(70, 0), kWhite));
}

TEST(Renderer, OpacityBlendsALayerAndItsSublayersAsOneGroup) {
  auto view = whiteView(40, 20);
  auto group = CALayer::layer();
  group->setFrame(view->bounds());
  group->setOpacity(0.5f);
  auto left = shapeWithRect(CGRectMake(0, 0, 30, 20), group->bounds());
  auto right = shapeWithRect(CGRectMake(10, 0, 30, 20), group->bounds());
  left->setFillColor(UIColor::redColor()->CGColor());
  right->setFillColor(UIColor::redColor()->CGColor());
  group->addSublayer(left);
  group->addSublayer(right);
  view->layer()->addSublayer(group);
  const render::Image image = render::renderView(view);
  const Pixel half{255, 128, 128, 255};
  EXPECT_TRUE(near(image.pixel(10, 20), half));
  EXPECT_TRUE(near(image.pixel(40, 20), half)) << "the overlap is no darker inside a group";

  // A fill colour's own alpha blends too; the picture keeps straight alpha where nothing is below.
  auto bare = UIView::viewWithFrame(CGRectMake(0, 0, 10, 10));
  auto shape = shapeWithRect(CGRectMake(0, 0, 10, 10), bare->bounds());
  shape->setFillColor(UIColor::colorWithRed(0, 0, 1, 0.4)->CGColor());
  bare->layer()->addSublayer(shape);
  EXPECT_TRUE(near(render::renderView(bare).pixel(5, 5), {0, 0, 255, 102}));
}

TEST(Renderer, ContentsImageIsStretchedOverTheBounds) {
  std::vector<std::uint8_t> pixels = {255, 0, 0, 255, 0, 0, 255, 255};  // red | blue
  cg::ImageRef artwork = cg::ImageRef::adopt(CGImageCreateWithRGBA(2, 1, pixels.data(), 8));
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, 40, 20));
  view->layer()->setContents(artwork.get());
  const render::Image image = render::renderView(view);
  EXPECT_TRUE(near(image.pixel(5, 20), kRed));
  EXPECT_TRUE(near(image.pixel(75, 20), {0, 0, 255, 255}));
}

TEST(Renderer, PathsWithCoordinatesThatAreNotNumbersDrawNothing) {
  auto view = whiteView(20, 20);
  auto shape = CAShapeLayer::layer();
  shape->setFrame(view->bounds());
  shape->setStrokeColor(UIColor::redColor()->CGColor());
  const CGPoint bad[] = {{0, 0}, {std::nan(""), 10}, {20, 20}};
  cg::PathRef path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), nullptr, bad, 3);
  shape->setPath(path.get());
  view->layer()->addSublayer(shape);
  const render::Image image = render::renderView(view);
  EXPECT_TRUE(near(image.pixel(20, 20), kWhite));
}

// A dense x-monotonic waveform: thinning per pixel column changes the picture only slightly.
TEST(Renderer, DecimatedDenseStrokeLooksLikeTheFullOne) {
  auto view = whiteView(200, 100);
  auto shape = CAShapeLayer::layer();
  shape->setFrame(view->bounds());
  shape->setFillColor(nullptr);
  shape->setStrokeColor(UIColor::blackColor()->CGColor());
  shape->setLineJoin(kCALineJoinRound);
  std::vector<CGPoint> points(4096);
  for (std::size_t i = 0; i < points.size(); ++i) {
    points[i] = {i * 200.0 / 4096, 50 + 40 * std::sin(i * 0.05) * std::cos(i * 0.0031)};
  }
  cg::PathRef path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), nullptr, points.data(), points.size());
  shape->setPath(path.get());
  view->layer()->addSublayer(shape);

  render::RenderOptions full;
  full.rasterizer = render::Rasterizer::cairo;
  full.decimateDenseStrokes = false;
  const render::Image reference = render::renderView(view, full);
  // Thinning, the other rasteriser, and both: each within a fraction of a level on average.
  for (const auto rasterizer :
       {render::Rasterizer::cairo, render::Rasterizer::aggOnCairo, render::Rasterizer::spansOnCairo,
        render::Rasterizer::envelopesOnCairo}) {
    for (const bool thin : {false, true}) {
      render::RenderOptions options;
      options.rasterizer = rasterizer;
      options.decimateDenseStrokes = thin;
      const render::Comparison c =
          render::compareImages(render::renderView(view, options), reference, {64, 0.002, 1.0});
      EXPECT_TRUE(c.matches) << "rasteriser " << int(rasterizer) << ", thinning " << thin << ": "
                             << c.message;
    }
  }

  std::vector<CGPoint> device(points.size()), out(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) device[i] = {points[i].x * 2, points[i].y * 2};
  out.resize(static_cast<std::size_t>(
      render::thinDeviceColumns(points, {2, 0, 0, 2, 0, 0}, out.data()).end - out.data()));
  EXPECT_LE(out.size(), 4u * 400u) << "at most four points per pixel column";
  EXPECT_EQ(out.front(), device.front());
  EXPECT_EQ(out.back(), device.back());
}

// A gradient drawn unchanged frame after frame is copied from a kept picture; each change
// draws it anew, as a renderer that never saw it would.
struct GradientChange {
  const char* name;
  void (*change)(CAGradientLayer*);
};

class KeptGradient : public ::testing::TestWithParam<GradientChange> {};

TEST_P(KeptGradient, IsDrawnAnewWhenItChanges) {
  auto view = whiteView(40, 30);
  auto gradient = CAGradientLayer::layer();
  gradient->setFrame(CGRectMake(0.25, 0, 30, 30));
  gradient->setColors({UIColor::colorWithRed(0.9, 0.1, 0.2, 0.8)->CGColor(),
                       UIColor::colorWithRed(0.2, 0.1, 0.9, 1)->CGColor()});
  gradient->setLocations({0.0, 1.0});
  view->layer()->addSublayer(gradient);
  // Committed trees: no backdrop is kept, the gradient is drawn each frame.
  render::Renderer renderer;
  for (int frame = 0; frame < 3; ++frame)
    renderer.drawSnapshot(*render::snapshotLayerTree(view->layer()));
  EXPECT_EQ(renderer.image().rgba, render::renderView(view).rgba) << "kept";
  GetParam().change(gradient.get());
  renderer.drawSnapshot(*render::snapshotLayerTree(view->layer()));
  EXPECT_EQ(renderer.image().rgba, render::renderView(view).rgba) << "changed";
}

INSTANTIATE_TEST_SUITE_P(
    Changes, KeptGradient,
    ::testing::Values(GradientChange{"colour",
                                     [](CAGradientLayer* g) {
                                       g->setColors(
                                           {UIColor::greenColor()->CGColor(),
                                            UIColor::colorWithRed(0.2, 0.1, 0.9, 1)->CGColor()});
                                     }},
                      GradientChange{"stop",
                                     [](CAGradientLayer* g) {
                                       g->setLocations({0.0, 0.4});
                                     }},
                      GradientChange{"axis",
                                     [](CAGradientLayer* g) {
                                       g->setEndPoint({1, 0});
                                     }},
                      GradientChange{
                          "frame",
                          [](CAGradientLayer* g) { g->setFrame(CGRectMake(5.5, 3, 30, 20)); }}),
    [](const ::testing::TestParamInfo<GradientChange>& info) {
      return std::string(info.param.name);
    });

// The leading layers of a view unchanged in two frames running are kept as one picture and
// taken up by the frames after; a change anywhere draws what it touches anew.
struct BackdropScene {
  StrongRef<UIView> view;
  StrongRef<CAGradientLayer> gradient;
  StrongRef<CAShapeLayer> shape;
  StrongRef<CALayer> top;
  StrongRef<CAShapeLayer> line;  // in the top layer
};

struct BackdropChange {
  const char* name;
  void (*change)(BackdropScene&);
};

class KeptBackdrop : public ::testing::TestWithParam<BackdropChange> {};

BackdropScene makeBackdropScene() {
  BackdropScene s;
  s.view = UIView::viewWithFrame(CGRectMake(0, 0, 40, 30));
  s.view->setBackgroundColor(UIColor::colorWithRed(0.1, 0.6, 0.5, 1.0));
  s.gradient = CAGradientLayer::layer();
  s.gradient->setFrame(s.view->bounds());
  s.gradient->setColors({UIColor::colorWithRed(0.9, 0.1, 0.2, 0.7)->CGColor(),
                         UIColor::colorWithRed(0.2, 0.1, 0.9, 0.7)->CGColor()});
  s.shape = shapeWithRect(CGRectMake(5, 5, 20, 10), s.view->bounds());
  s.shape->setFillColor(UIColor::redColor()->CGColor());
  s.top = CALayer::layer();
  s.top->setFrame(CGRectMake(10.5, 10, 25, 15));
  s.top->setBackgroundColor(UIColor::colorWithRed(0, 0, 1, 0.5)->CGColor());
  s.line = shapeWithRect(CGRectMake(2, 2, 10, 3), s.top->bounds());
  s.line->setFillColor(UIColor::whiteColor()->CGColor());
  s.top->addSublayer(s.line);
  for (CALayer* layer :
       {static_cast<CALayer*>(s.gradient.get()), static_cast<CALayer*>(s.shape.get()), s.top.get()})
    s.view->layer()->addSublayer(layer);
  return s;
}

TEST_P(KeptBackdrop, IsDrawnAnewWhenALayerChanges) {
  BackdropScene s = makeBackdropScene();
  render::Renderer renderer;
  for (int frame = 0; frame < 3; ++frame) renderer.draw(s.view);
  EXPECT_EQ(renderer.image().rgba, render::renderView(s.view).rgba) << "kept";
  GetParam().change(s);
  for (int frame = 0; frame < 3; ++frame) {
    renderer.draw(s.view);
    EXPECT_EQ(renderer.image().rgba, render::renderView(s.view).rgba) << "frame " << frame;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, KeptBackdrop,
    ::testing::Values(
        BackdropChange{"rootBackground",
                       [](BackdropScene& s) { s.view->setBackgroundColor(UIColor::whiteColor()); }},
        BackdropChange{"firstLayer",
                       [](BackdropScene& s) {
                         s.gradient->setLocations({0.0, 0.3});
                       }},
        BackdropChange{"firstLayerHidden", [](BackdropScene& s) { s.gradient->setHidden(true); }},
        BackdropChange{
            "middleLayer",
            [](BackdropScene& s) { s.shape->setFillColor(UIColor::greenColor()->CGColor()); }},
        BackdropChange{
            "lastLayersSublayer",
            [](BackdropScene& s) { s.line->setFillColor(UIColor::blackColor()->CGColor()); }},
        BackdropChange{"lastLayer",
                       [](BackdropScene& s) {
                         s.top->setBackgroundColor(UIColor::yellowColor()->CGColor());
                       }}),
    [](const ::testing::TestParamInfo<BackdropChange>& info) {
      return std::string(info.param.name);
    });

// The root's background, hidden by an opaque last layer that changes every frame, shows when
// that turns translucent.
TEST(KeptBackdrop, HoldsTheBackgroundThatAChangingCoverHid) {
  BackdropScene s = makeBackdropScene();
  render::Renderer renderer;
  for (CGFloat inset : {1, 2, 1}) {
    s.top->setFrame(CGRectInset(s.view->bounds(), -inset, -inset));
    s.top->setBackgroundColor(UIColor::blueColor()->CGColor());
    renderer.draw(s.view);
  }
  s.top->setBackgroundColor(UIColor::colorWithRed(0, 0, 1, 0.5)->CGColor());
  renderer.draw(s.view);
  EXPECT_EQ(renderer.image().rgba, render::renderView(s.view).rgba);
}

// A background under an opaque gradient covering it is left out; the picture is that of the
// same background drawn as a layer of its own beneath the gradient (never left out).
struct BackdropCase {
  const char* name;
  CGFloat width;       // of the view; a quarter point ends halfway into a pixel
  CGFloat coverWidth;  // of the gradient
  CGFloat alpha;       // of the gradient's colours
};

class HiddenBackdrop : public ::testing::TestWithParam<BackdropCase> {};

TEST_P(HiddenBackdrop, LeavesThePictureAsItWas) {
  const BackdropCase& c = GetParam();
  const auto teal = UIColor::colorWithRed(0.1, 0.6, 0.5, 1.0);
  auto gradientOver = [&](UIView* view) {
    auto gradient = CAGradientLayer::layer();
    gradient->setFrame(CGRectMake(0, 0, c.coverWidth, 30));
    gradient->setColors({UIColor::colorWithRed(0.9, 0.1, 0.2, c.alpha)->CGColor(),
                         UIColor::colorWithRed(0.2, 0.1, 0.9, c.alpha)->CGColor()});
    view->layer()->addSublayer(gradient);
  };
  auto withBackground = UIView::viewWithFrame(CGRectMake(0, 0, c.width, 30));
  withBackground->setBackgroundColor(teal);
  gradientOver(withBackground);
  auto withLayer = UIView::viewWithFrame(CGRectMake(0, 0, c.width, 30));
  auto backdrop = CALayer::layer();
  backdrop->setFrame(withLayer->bounds());
  backdrop->setBackgroundColor(teal->CGColor());
  withLayer->layer()->addSublayer(backdrop);
  gradientOver(withLayer);
  EXPECT_EQ(render::renderView(withBackground).rgba, render::renderView(withLayer).rgba);
}

INSTANTIATE_TEST_SUITE_P(Covers, HiddenBackdrop,
                         ::testing::Values(BackdropCase{"whole", 40, 40, 1},
                                           BackdropCase{"shortOfTheLastPixel", 40.25, 40.4, 1},
                                           BackdropCase{"translucent", 40, 40, 0.9}),
                         [](const ::testing::TestParamInfo<BackdropCase>& info) {
                           return std::string(info.param.name);
                         });

// Coverage accumulated in spans against the scanline rasteriser's exact cell areas: shapes beyond
// every edge of the picture, both fill rules over a self-crossing star, a translucent dense fill,
// steep edges inside the last pixel column of a mark word (device column 63).
struct SpansCase {
  const char* name;
  std::vector<CGPoint> points;
  bool evenOdd;
  CGFloat alpha;
};

class SpansCoverage : public ::testing::TestWithParam<SpansCase> {};

TEST_P(SpansCoverage, LooksLikeTheScanlineRasteriser) {
  auto view = whiteView(120, 90);
  auto shape = CAShapeLayer::layer();
  shape->setFrame(view->bounds());
  shape->setFillColor(UIColor::colorWithRed(0.1, 0.3, 0.9, GetParam().alpha)->CGColor());
  shape->setFillRule(GetParam().evenOdd ? kCAFillRuleEvenOdd : kCAFillRuleNonZero);
  cg::PathRef path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), nullptr, GetParam().points.data(), GetParam().points.size());
  CGPathCloseSubpath(path.get());
  shape->setPath(path.get());
  view->layer()->addSublayer(shape);
  render::RenderOptions scanlines, spans;
  scanlines.rasterizer = render::Rasterizer::aggOnCairo;
  spans.rasterizer = render::Rasterizer::spansOnCairo;
  const render::Comparison c = render::compareImages(
      render::renderView(view, spans), render::renderView(view, scanlines), {2, 0, 0.2});
  EXPECT_TRUE(c.matches) << c.message;
}

std::vector<CGPoint> denseWave() {
  std::vector<CGPoint> points;
  for (int i = 0; i < 3000; ++i) {
    points.push_back({i * 120.0 / 3000, 45 + 30 * std::sin(i * 0.7) * std::sin(i * 0.004)});
  }
  points.push_back({120, 90});
  points.push_back({0, 90});
  return points;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SpansCoverage,
    ::testing::Values(
        SpansCase{"beyondEveryEdge", {{-30, 40}, {60, -25}, {150, 30}, {70, 130}}, false, 1.0},
        SpansCase{"evenOddStar", {{60, 5}, {85, 80}, {20, 33}, {100, 33}, {35, 80}}, true, 1.0},
        SpansCase{"nonZeroStar", {{60, 5}, {85, 80}, {20, 33}, {100, 33}, {35, 80}}, false, 1.0},
        SpansCase{"translucentDenseWave", denseWave(), false, 0.4},
        SpansCase{"steepInAWordsLastColumn", {{31.55, 5}, {31.95, 85}, {31.6, 85}}, false, 1.0}),
    [](const ::testing::TestParamInfo<SpansCase>& info) { return std::string(info.param.name); });

// Envelopes are only for x-monotonic dense runs: a dense scribble whose x turns back every few
// points is stroked by the outliner alone, the same picture as without envelopes; a closed dense
// run with sparse closing edges (a masked joyplot line) keeps those edges and their joins.
struct EnvelopeCase {
  const char* name;
  std::vector<CGPoint> points;
  bool closed;
  render::Tolerance tolerance;
};

class StrokeEnvelopes : public ::testing::TestWithParam<EnvelopeCase> {};

StrongRef<UIView> strokedView(const std::vector<CGPoint>& points, bool closed) {
  auto view = whiteView(120, 90);
  auto shape = CAShapeLayer::layer();
  shape->setFrame(view->bounds());
  shape->setFillColor(nullptr);
  shape->setStrokeColor(UIColor::colorWithRed(0.1, 0.3, 0.9, 0.9)->CGColor());
  shape->setLineJoin(kCALineJoinRound);
  cg::PathRef path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), nullptr, points.data(), points.size());
  if (closed) CGPathCloseSubpath(path.get());
  shape->setPath(path.get());
  view->layer()->addSublayer(shape);
  return view;
}

render::RenderOptions envelopes() {
  render::RenderOptions options;
  options.rasterizer = render::Rasterizer::envelopesOnCairo;
  return options;
}

TEST_P(StrokeEnvelopes, LookLikeTheOutlinedStroke) {
  auto view = strokedView(GetParam().points, GetParam().closed);
  const render::Comparison c = render::compareImages(
      render::renderView(view, envelopes()), render::renderView(view), GetParam().tolerance);
  EXPECT_TRUE(c.matches) << c.message;
}

std::vector<CGPoint> scribble() {
  std::vector<CGPoint> points;
  for (int i = 0; i < 3000; ++i)
    points.push_back({60 + 50 * std::sin(i * 0.3), 45 + 40 * std::sin(i * 0.011)});
  return points;
}

INSTANTIATE_TEST_SUITE_P(
    Strokes, StrokeEnvelopes,
    ::testing::Values(EnvelopeCase{"scribbleTurningBack", scribble(), false, {0, 0, 0}},
                      EnvelopeCase{"closedDenseRun", denseWave(), true, {64, 0.005, 0.6}}),
    [](const ::testing::TestParamInfo<EnvelopeCase>& info) {
      return std::string(info.param.name);
    });

// A large picture's rows are shared with the helper thread: the edges that cross the row where
// the two halves meet leave the same areas on both sides as on one thread.
TEST(RendererHelperThread, DrawsTheSamePictureAsOneThread) {
  auto view = strokedView(denseWave(), true);
  render::RenderOptions shared, alone;
  shared.scale = alone.scale = 6;
  shared.helperThread = true;
  const render::Comparison c = render::compareImages(render::renderView(view, shared),
                                                     render::renderView(view, alone), {0, 0, 0});
  EXPECT_EQ(c.differingPixels, 0u) << c.message;
}

// Spikes far beyond the picture (a gain of 1e300) are lines through it, as spikes just beyond it.
TEST(StrokeEnvelopesBeyondThePicture, LookLikeSpikesJustBeyondIt) {
  std::vector<CGPoint> huge = denseWave(), near = huge;
  for (std::size_t i = 0; i < huge.size(); i += 97) {
    huge[i].y = i % 2 == 0 ? 1e300 : -1e300;
    near[i].y = i % 2 == 0 ? 1e4 : -1e4;
  }
  const render::Comparison c =
      render::compareImages(render::renderView(strokedView(huge, false), envelopes()),
                            render::renderView(strokedView(near, false), envelopes()), {8, 0, 0.1});
  EXPECT_TRUE(c.matches) << c.message;
}

TEST(RenderedFiles, PngRoundTripAndGoldenComparisonWritesThePicturesBesideTheGolden) {
  testing_support::TempDevice directory;
  auto view = whiteView(10, 10);
  auto shape = shapeWithRect(CGRectMake(0, 0, 5, 10), view->bounds());
  view->layer()->addSublayer(shape);
  const render::Image image = render::renderView(view);
  const std::string golden = (directory.path() / "picture.png").string();
  ASSERT_TRUE(render::writePng(image, golden));
  const auto back = render::readPng(golden);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->rgba, image.rgba);
  EXPECT_TRUE(render::compareWithGolden(image, golden).matches);

  shape->setFillColor(UIColor::redColor()->CGColor());
  const render::Comparison c = render::compareWithGolden(render::renderView(view), golden);
  EXPECT_FALSE(c.matches);
  EXPECT_EQ(c.differingPixels, 200u) << "the left half, 10 × 20 pixels";
  EXPECT_TRUE(std::filesystem::exists(directory.path() / "picture.actual.png")) << c.message;
  EXPECT_TRUE(std::filesystem::exists(directory.path() / "picture.diff.png"));

  std::ofstream(directory.path() / "broken.png") << "not a picture";
  std::string error;
  EXPECT_FALSE(render::readPng((directory.path() / "broken.png").string(), &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
