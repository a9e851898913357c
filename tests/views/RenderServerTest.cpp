// The render server draws what was committed, not what the tree has become since; and text
// layers draw their line in their colour inside their bounds.

#include <gtest/gtest.h>

#include <future>

#include "Renderer/LayerSnapshot.h"
#include "Renderer/RenderServer.h"
#include "Renderer/Renderer.h"
#include "UIKit/UIKit.h"

namespace {

TEST(RenderServer, DrawsTheTreeAsCommittedWhileTheMainThreadChangesIt) {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, 40, 20));
  view->setBackgroundColor(UIColor::redColor());
  auto shape = CAShapeLayer::layer();
  shape->setFrame(CGRectMake(0, 0, 40, 20));
  shape->setFillColor(UIColor::greenColor()->CGColor());
  cg::PathRef left = cg::PathRef::adopt(CGPathCreateWithRect(CGRectMake(0, 0, 20, 20), nullptr));
  shape->setPath(left.get());
  view->layer()->addSublayer(shape);

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
