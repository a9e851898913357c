// Layer trees as the plots build them: order, insertion at an index, removal, masks.

#include <gtest/gtest.h>

#include "QuartzCore/QuartzCore.h"
#include "UIKit/UIColor.h"

namespace {

std::vector<CALayer*> order(const CALayer* layer) {
  std::vector<CALayer*> out;
  for (const auto& s : layer->sublayers()) out.push_back(s.get());
  return out;
}

TEST(LayerTree, InsertAtIndexAddAndRemoveKeepTheOrder) {
  auto root = CALayer::layer();
  auto a = CAShapeLayer::layer(), b = CAShapeLayer::layer(), c = CAShapeLayer::layer();
  root->addSublayer(a);
  root->addSublayer(b);
  root->insertSublayer(c, 0);
  EXPECT_EQ(order(root), (std::vector<CALayer*>{c, a, b}));
  root->insertSublayer(b, 1);  // moving a sublayer within the same superlayer
  EXPECT_EQ(order(root), (std::vector<CALayer*>{c, b, a}));
  root->insertSublayer(a, 99);  // past the end appends
  EXPECT_EQ(order(root), (std::vector<CALayer*>{c, b, a}));
  EXPECT_EQ(a->superlayer(), root.get());

  c->removeFromSuperlayer();
  c->removeFromSuperlayer();  // a second removal does nothing
  EXPECT_EQ(order(root), (std::vector<CALayer*>{b, a}));
  EXPECT_EQ(c->superlayer(), nullptr);

  // Adding to another layer takes the layer out of the first.
  auto other = CALayer::layer();
  other->addSublayer(b);
  EXPECT_EQ(order(root), (std::vector<CALayer*>{a}));
  EXPECT_EQ(b->superlayer(), other.get());
}

TEST(LayerTree, RemovalKeepsALayerHeldElsewhereAliveAndCyclesAreRefused) {
  auto root = CALayer::layer();
  CALayer* onlyInTree = nullptr;
  {
    auto layer = CAShapeLayer::layer();
    onlyInTree = layer.get();
    root->addSublayer(layer);
  }
  EXPECT_EQ(onlyInTree->retainCount(), 1u) << "the tree holds the only reference";
  auto child = CALayer::layer();
  root->addSublayer(child);
  child->addSublayer(root);  // would make a cycle
  EXPECT_EQ(root->superlayer(), nullptr);
  EXPECT_TRUE(child->sublayers().empty());
}

TEST(LayerTree, MaskBelongsToNoSuperlayer) {
  auto gradient = CAGradientLayer::layer();
  auto mask = CAShapeLayer::layer();
  auto root = CALayer::layer();
  root->addSublayer(mask);
  gradient->setMask(mask);
  EXPECT_EQ(gradient->mask(), mask.get());
  EXPECT_EQ(mask->superlayer(), nullptr);
  EXPECT_TRUE(root->sublayers().empty());
  gradient->setMask(nullptr);
  EXPECT_EQ(gradient->mask(), nullptr);
}

TEST(ShapeLayer, DefaultsAreThePlatformsAndColoursAreCopied) {
  auto shape = CAShapeLayer::layer();
  ASSERT_NE(shape->fillColor(), nullptr);
  EXPECT_EQ(*shape->fillColor(), CGColorMakeRGBA(0, 0, 0, 1)) << "opaque black fill";
  EXPECT_EQ(shape->strokeColor(), nullptr);
  EXPECT_EQ(shape->lineWidth(), 1.0);
  EXPECT_STREQ(shape->lineJoin(), kCALineJoinMiter);

  shape->setLineJoin(kCALineJoinRound);
  EXPECT_EQ(shape->lineJoinStyle(), CAShapeLayer::LineJoin::round);
  {
    auto red = UIColor::colorWithRed(1, 0, 0, 0.4);
    shape->setStrokeColor(red->CGColor());
    shape->setFillColor(nullptr);
  }  // the colour object is gone; the layer kept its value
  ASSERT_NE(shape->strokeColor(), nullptr);
  EXPECT_EQ(*shape->strokeColor(), CGColorMakeRGBA(1, 0, 0, 0.4));
  EXPECT_EQ(shape->fillColor(), nullptr);

  CGMutablePathRef path = CGPathCreateMutable();
  shape->setPath(path);
  CGPathRelease(path);  // the plot releases its path; the layer keeps its own reference
  EXPECT_EQ(shape->path()->retainCount(), 1u);
}

TEST(GradientLayer, RunsTopToBottomAndInterpolatesBetweenStops) {
  auto gradient = CAGradientLayer::layer();
  EXPECT_EQ(gradient->startPoint(), (CGPoint{0.5, 0}));
  EXPECT_EQ(gradient->endPoint(), (CGPoint{0.5, 1}));
  gradient->setColors({UIColor::redColor()->CGColor(), UIColor::yellowColor()->CGColor(),
                       UIColor::greenColor()->CGColor()});
  EXPECT_EQ(gradient->colorAt(0.5), CGColorMakeRGBA(1, 1, 0, 1)) << "evenly spread stops";
  gradient->setLocations({0.0, 0.25, 0.5});
  EXPECT_EQ(gradient->colorAt(0.25), CGColorMakeRGBA(1, 1, 0, 1));
  EXPECT_EQ(gradient->colorAt(0.125), CGColorMakeRGBA(1, 0.5, 0, 1));
  EXPECT_EQ(gradient->colorAt(0.9), CGColorMakeRGBA(0, 1, 0, 1)) << "past the last stop";
}

}  // namespace
