// The layer tree as JSON and SVG.

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "Renderer/LayerTreeExport.h"
#include "UIKit/UIKit.h"

namespace {

StrongRef<UIView> plotLikeView() {
  auto view = UIView::viewWithFrame(CGRectMake(0, 0, 100, 50));
  view->layer()->setBackgroundColor(UIColor::colorWithRed(0, 0, 0, 0.5)->CGColor());
  auto line = CAShapeLayer::layer();
  line->setFrame(view->bounds());
  line->setFillColor(nullptr);
  line->setStrokeColor(UIColor::greenColor()->CGColor());
  line->setLineJoin(kCALineJoinRound);
  line->setLineWidth(1.5);
  const CGPoint points[] = {{0, 0}, {1, 0.5}, {2, -0.5}};
  const CGAffineTransform t =
      CGAffineTransformScale(CGAffineTransformMakeTranslation(0, 25), 50, -10);
  cg::PathRef path = cg::PathRef::mutablePath();
  CGPathAddLines(path.get(), &t, points, 3);
  line->setPath(path.get());
  view->layer()->addSublayer(line);

  auto gradient = CAGradientLayer::layer();
  gradient->setFrame(view->bounds());
  gradient->setColors({UIColor::redColor()->CGColor(), UIColor::greenColor()->CGColor()});
  gradient->setLocations({0.25, 0.75});
  auto mask = CAShapeLayer::layer();
  mask->setFrame(view->bounds());
  cg::PathRef rect = cg::PathRef::adopt(CGPathCreateWithRect(CGRectMake(0, 0, 10, 10), nullptr));
  mask->setPath(rect.get());
  gradient->setMask(mask);
  view->layer()->addSublayer(gradient);
  return view;
}

TEST(LayerTreeJson, ListsEveryLayerInDrawingOrderWithColoursAndPathsInLayerCoordinates) {
  auto view = plotLikeView();
  const auto json = nlohmann::json::parse(render::layerTreeJson(view));
  EXPECT_EQ(json["backgroundColor"], nlohmann::json::parse("[0, 0, 0, 0.5]"));
  ASSERT_EQ(json["layers"].size(), 2u);

  const auto& line = json["layers"][0];
  EXPECT_EQ(line["kind"], "shape");
  EXPECT_EQ(line["frame"], nlohmann::json::parse("[0, 0, 100, 50]"));
  EXPECT_TRUE(line["fillColor"].is_null());
  EXPECT_EQ(line["strokeColor"], nlohmann::json::parse("[0, 1, 0, 1]"));
  EXPECT_EQ(line["lineWidth"], 1.5);
  EXPECT_EQ(line["lineJoin"], "round");
  ASSERT_EQ(line["path"].size(), 1u);
  EXPECT_EQ(line["path"][0]["closed"], false);
  EXPECT_EQ(line["path"][0]["points"], nlohmann::json::parse("[[0, 25], [50, 20], [100, 30]]"));

  const auto& gradient = json["layers"][1];
  EXPECT_EQ(gradient["kind"], "gradient");
  EXPECT_EQ(gradient["colors"], nlohmann::json::parse("[[1, 0, 0, 1], [0, 1, 0, 1]]"));
  EXPECT_EQ(gradient["locations"], nlohmann::json::parse("[0.25, 0.75]"));
  EXPECT_EQ(gradient["mask"]["path"][0]["closed"], true);
  EXPECT_EQ(gradient["mask"]["path"][0]["points"].size(), 4u);
}

TEST(LayerTreeSvg, DrawsPathsGradientsAndMasks) {
  const std::string svg = render::layerTreeSvg(plotLikeView());
  EXPECT_NE(svg.find("<svg"), std::string::npos);
  EXPECT_NE(svg.find("d=\"M0 25 L50 20 L100 30 \""), std::string::npos) << svg;
  EXPECT_NE(svg.find("stroke=\"rgb(0,255,0)\""), std::string::npos);
  EXPECT_NE(svg.find("<linearGradient"), std::string::npos);
  EXPECT_NE(svg.find("mask=\"url(#"), std::string::npos);
}

}  // namespace
