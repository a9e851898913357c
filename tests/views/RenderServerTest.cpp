// The render server draws what was committed, not what the tree has become since, into one
// picture kept frame after frame; text layers
// draw their line in their colour inside their bounds; a committed tree knows when it draws the
// same as another; images drawn smaller are shrunk once.

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <vector>

#include "AllocationCount.h"
#include "Renderer/LayerSnapshot.h"
#include "Renderer/RenderServer.h"
#include "Renderer/Renderer.h"
#include "UIKit/UIKit.h"

namespace {

// A view of `width` × `height` points with a shape over it, filling `filled` in green.
struct GreenShapeView {
  StrongRef<UIView> view;
  StrongRef<CAShapeLayer> shape;
};
GreenShapeView greenShapeView(CGFloat width, CGFloat height, CGRect filled) {
  GreenShapeView made{UIView::viewWithFrame(CGRectMake(0, 0, width, height)),
                      CAShapeLayer::layer()};
  made.shape->setFrame(CGRectMake(0, 0, width, height));
  made.shape->setFillColor(UIColor::greenColor()->CGColor());
  cg::PathRef path = cg::PathRef::adopt(CGPathCreateWithRect(filled, nullptr));
  made.shape->setPath(path.get());
  made.view->layer()->addSublayer(made.shape);
  return made;
}

TEST(RenderServer, DrawsTheTreeAsCommittedWhileTheMainThreadChangesIt) {
  auto [view, shape] = greenShapeView(40, 20, CGRectMake(0, 0, 20, 20));
  view->setBackgroundColor(UIColor::redColor());

  render::RenderServer server;
  std::promise<render::Image> drawn;
  std::promise<void> changed;
  ASSERT_TRUE(
      server.commit(render::snapshotLayerTree(view->layer()), 1, [&](const render::Image& picture) {
        changed.get_future().wait();  // drawn after the change below
        drawn.set_value(picture);
      }));
  // The next frame: a new path on the right, a blue background, the shape hidden.
  cg::PathRef right = cg::PathRef::adopt(CGPathCreateWithRect(CGRectMake(20, 0, 20, 20), nullptr));
  shape->setPath(right.get());
  view->setBackgroundColor(UIColor::blueColor());
  shape->setHidden(true);
  changed.set_value();

  const render::Image picture = drawn.get_future().get();
  ASSERT_EQ(picture.width, 40u);
  EXPECT_EQ(picture.pixel(5, 10), (std::array<std::uint8_t, 4>{0, 255, 0, 255}));
  EXPECT_EQ(picture.pixel(35, 10), (std::array<std::uint8_t, 4>{255, 0, 0, 255}));
}

// Frames keep what drew the same as the frame before: a backdrop that changes after two
// frames alike is drawn anew, not taken from the kept picture.
TEST(RenderServer, DrawsAChangedBackdropAfterKeepingIt) {
  auto view = greenShapeView(16, 8, CGRectMake(8, 0, 8, 8)).view;
  render::RenderServer server;
  for (bool red : {true, true, false, false, true}) {
    view->setBackgroundColor(red ? UIColor::redColor() : UIColor::blueColor());
    std::promise<render::Image> drawn;
    ASSERT_TRUE(server.commit(render::snapshotLayerTree(view->layer()), 1,
                              [&](const render::Image& picture) { drawn.set_value(picture); }));
    const render::Image picture = drawn.get_future().get();
    EXPECT_EQ(picture.pixel(2, 4), (std::array<std::uint8_t, 4>{std::uint8_t(red ? 255 : 0), 0,
                                                                std::uint8_t(red ? 0 : 255), 255}));
    EXPECT_EQ(picture.pixel(12, 4), (std::array<std::uint8_t, 4>{0, 255, 0, 255}));
  }
}

// Once warmed, a frame allocates no picture: no allocation of a picture's size while frames are
// drawn and delivered.
TEST(RenderServer, ReadsEveryFrameBackIntoOnePicture) {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, 37, 19));
  view->setBackgroundColor(UIColor::redColor());
  render::RenderServer server;
  for (int frame = 0; frame < 3; ++frame) {
    if (frame == 1) testing_support::watchAllocationsOf(37 * 19 * 4);
    std::promise<void> drawn;
    ASSERT_TRUE(server.commit(render::snapshotLayerTree(view->layer()), 1,
                              [&](const render::Image&) { drawn.set_value(); }));
    drawn.get_future().get();
  }
  EXPECT_EQ(testing_support::stopWatchingAllocations(), 0);
}

TEST(TextLayer, DrawsItsLineInItsColourInsideItsBoundsOnly) {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, 200, 60));
  auto line = CATextLayer::layer();
  line->setFrame(CGRectMake(0, 0, 100, 60));
  line->setString("MMMMMMMMMMMMMMMMMMMM");  // longer than the bounds
  line->setFontSize(30);
  line->setForegroundColor(UIColor::redColor()->CGColor());
  view->layer()->addSublayer(line);
  const render::Image picture = render::renderView(view, {});
  int inside = 0, outside = 0;
  for (std::size_t y = 0; y < picture.height; ++y)
    for (std::size_t x = 0; x < picture.width; ++x) {
      const auto p = picture.pixel(x, y);
      if (p[3] == 0) continue;
      EXPECT_EQ(p[1], 0) << "not the text's colour at " << x << "," << y;
      (x < 200 ? inside : outside) += 1;
    }
  EXPECT_GT(inside, 1000) << "no text drawn";
  EXPECT_EQ(outside, 0) << "text drawn past its bounds";
}

}  // namespace

// A frame of the live page is drawn only when its tree draws something else than the last one.
struct TreeChange {
  const char* name;
  void (*change)(CAShapeLayer* line, CATextLayer* text);
  bool same;
};

void PrintTo(const TreeChange& change, std::ostream* out) {
  *out << change.name;
}

class DrawsTheSame : public ::testing::TestWithParam<TreeChange> {};

TEST_P(DrawsTheSame, OnlyWhenNothingDrawnChanged) {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, 40, 20));
  auto line = CAShapeLayer::layer();
  auto text = CATextLayer::layer();
  auto pathThrough = [](CGFloat y) {
    cg::PathRef path = cg::PathRef::mutablePath();
    const CGPoint points[] = {{0, 0}, {20, y}, {40, 0}};
    CGPathAddLines(path.get(), nullptr, points, 3);
    return path;
  };
  line->setPath(pathThrough(10).get());
  line->setStrokeColor(UIColor::greenColor()->CGColor());
  text->setString("12:00");
  view->layer()->addSublayer(line);
  view->layer()->addSublayer(text);
  const auto before = render::snapshotLayerTree(view->layer());
  // The plots make a new path every tick, with the same points while nothing plays.
  line->setPath(pathThrough(10).get());
  GetParam().change(line.get(), text.get());
  EXPECT_EQ(render::drawsTheSame(*before, *render::snapshotLayerTree(view->layer())),
            GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, DrawsTheSame,
    ::testing::Values(TreeChange{"Nothing", [](CAShapeLayer*, CATextLayer*) {}, true},
                      TreeChange{"APoint",
                                 [](CAShapeLayer* line, CATextLayer*) {
                                   cg::PathRef path = cg::PathRef::mutablePath();
                                   const CGPoint points[] = {{0, 0}, {20, 11}, {40, 0}};
                                   CGPathAddLines(path.get(), nullptr, points, 3);
                                   line->setPath(path.get());
                                 },
                                 false},
                      TreeChange{"AColour",
                                 [](CAShapeLayer* line, CATextLayer*) {
                                   line->setStrokeColor(UIColor::redColor()->CGColor());
                                 },
                                 false},
                      TreeChange{"AText",
                                 [](CAShapeLayer*, CATextLayer* text) { text->setString("12:01"); },
                                 false},
                      TreeChange{"AHiddenLayer",
                                 [](CAShapeLayer* line, CATextLayer*) { line->setHidden(true); },
                                 false}),
    [](const auto& info) { return std::string(info.param.name); });

// An artwork drawn smaller than it is: shrunk once and kept, the frames look as they did when
// every frame shrank it again.
TEST(ShrunkImages, DrawTheSamePictureAsShrinkingEveryFrame) {
  std::vector<std::uint8_t> pixels(64 * 64 * 4);
  for (std::size_t i = 0; i < 64 * 64; ++i) {
    pixels[4 * i] = static_cast<std::uint8_t>(i * 7);
    pixels[4 * i + 1] = static_cast<std::uint8_t>(i / 64 * 4);
    pixels[4 * i + 2] = static_cast<std::uint8_t>(i % 64 * 4);
    pixels[4 * i + 3] = 255;
  }
  cg::ImageRef artwork = cg::ImageRef::adopt(CGImageCreateWithRGBA(64, 64, pixels.data(), 256));
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, 40, 40));
  auto cover = CALayer::layer();
  cover->setFrame(CGRectMake(5, 7, 24, 24));
  cover->setContents(artwork.get());
  view->layer()->addSublayer(cover);
  render::RenderOptions everyFrame;
  everyFrame.scale = 1;
  everyFrame.keepShrunkImages = false;
  render::RenderOptions kept = everyFrame;
  kept.keepShrunkImages = true;
  render::Renderer shrinking(everyFrame), keeping(kept);
  shrinking.draw(view);
  const render::Image expected = shrinking.image();
  for (int frame = 0; frame < 2; ++frame) {  // shrunk, then the copy kept
    keeping.draw(view);
    const render::Image picture = keeping.image();
    ASSERT_EQ(picture.rgba.size(), expected.rgba.size());
    int different = 0;
    for (std::size_t i = 0; i < picture.rgba.size(); ++i)
      different += std::abs(picture.rgba[i] - expected.rgba[i]) > 1;
    EXPECT_EQ(different, 0) << "frame " << frame;
  }
}
