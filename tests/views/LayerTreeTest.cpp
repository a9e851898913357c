// Layer trees as the plots build them: order, insertion at an index, removal, masks, and the
// numbered changes that tell a screen watch what shows.

#include <gtest/gtest.h>

#include <memory>

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

// A drawn change of a shape layer, to one of two values.
struct DrawnChange {
  const char* name;
  void (*apply)(CAShapeLayer* layer, int value);
};

void setRectPath(CAShapeLayer* layer, int side) {
  CGPathRef path = CGPathCreateWithRect(CGRectMake(0, 0, side, side), nullptr);
  layer->setPath(path);
  CGPathRelease(path);
}

const DrawnChange kDrawnChanges[] = {
    {"frame", [](CAShapeLayer* l, int v) { l->setFrame(CGRectMake(v, 0, 10, 10)); }},
    {"opacity", [](CAShapeLayer* l, int v) { l->setOpacity(0.25f * static_cast<float>(v)); }},
    {"hidden", [](CAShapeLayer* l, int v) { l->setHidden(v == 1); }},
    {"path", [](CAShapeLayer* l, int v) { setRectPath(l, v); }},
    {"stroke",
     [](CAShapeLayer* l, int v) {
       const CGColor colour = CGColorMakeRGBA(0, 0, 0.25 * v, 1);
       l->setStrokeColor(&colour);
     }},
    {"sublayer",
     [](CAShapeLayer* l, int v) {
       if (v == 1 && l->sublayers().empty()) l->addSublayer(CALayer::layer().get());
       if (v == 2 && !l->sublayers().empty()) l->sublayers()[0]->removeFromSuperlayer();
     }},
    {"mask path",
     [](CAShapeLayer* l, int v) {
       if (l->mask() == nullptr) l->setMask(CAShapeLayer::layer().get());
       setRectPath(static_cast<CAShapeLayer*>(l->mask()), v);
     }},
};

class LayerChanges : public testing::TestWithParam<DrawnChange> {};

TEST_P(LayerChanges, ShowAtTheTopOnceAndNotThroughAHiddenLayer) {
  auto root = CALayer::layer(), group = CALayer::layer();
  auto shape = CAShapeLayer::layer();
  root->addSublayer(group.get());
  group->addSublayer(shape.get());
  const auto apply = GetParam().apply;

  apply(shape.get(), 1);
  std::uint64_t seen = root->lastChange();
  apply(shape.get(), 2);
  EXPECT_GT(root->lastChange(), seen) << "a new value shows";
  EXPECT_EQ(shape->lastChange(), root->lastChange());
  seen = root->lastChange();
  apply(shape.get(), 2);
  EXPECT_EQ(root->lastChange(), seen) << "the same value again is no change";

  group->setHidden(true);
  seen = root->lastChange();
  apply(shape.get(), 1);
  EXPECT_EQ(root->lastChange(), seen) << "nothing shows through a hidden layer";
  group->setHidden(false);
  EXPECT_GT(root->lastChange(), seen);
}

INSTANTIATE_TEST_SUITE_P(EachDrawnProperty, LayerChanges, testing::ValuesIn(kDrawnChanges),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (c == ' ') c = '_';
                           return name;
                         });

}  // namespace
