#include "QuartzCore/CAShapeLayer.h"

#include <cstring>

void CAShapeLayer::setFillColor(CGColorRef color) {
  hasFill_ = color != nullptr;
  if (color != nullptr) fill_ = *color;
}

void CAShapeLayer::setStrokeColor(CGColorRef color) {
  hasStroke_ = color != nullptr;
  if (color != nullptr) stroke_ = *color;
}

namespace {
bool named(const char* value, const char* name) {
  return value != nullptr && std::strcmp(value, name) == 0;
}
}  // namespace

CAShapeLayerLineJoin CAShapeLayer::lineJoin() const {
  switch (lineJoin_) {
    case LineJoin::round:
      return kCALineJoinRound;
    case LineJoin::bevel:
      return kCALineJoinBevel;
    case LineJoin::miter:
      break;
  }
  return kCALineJoinMiter;
}

void CAShapeLayer::setLineJoin(CAShapeLayerLineJoin join) {
  if (named(join, kCALineJoinMiter)) lineJoin_ = LineJoin::miter;
  if (named(join, kCALineJoinRound)) lineJoin_ = LineJoin::round;
  if (named(join, kCALineJoinBevel)) lineJoin_ = LineJoin::bevel;
}

CAShapeLayerLineCap CAShapeLayer::lineCap() const {
  switch (lineCap_) {
    case LineCap::round:
      return kCALineCapRound;
    case LineCap::square:
      return kCALineCapSquare;
    case LineCap::butt:
      break;
  }
  return kCALineCapButt;
}

void CAShapeLayer::setLineCap(CAShapeLayerLineCap cap) {
  if (named(cap, kCALineCapButt)) lineCap_ = LineCap::butt;
  if (named(cap, kCALineCapRound)) lineCap_ = LineCap::round;
  if (named(cap, kCALineCapSquare)) lineCap_ = LineCap::square;
}

CAShapeLayerFillRule CAShapeLayer::fillRule() const {
  return fillRule_ == FillRule::evenOdd ? kCAFillRuleEvenOdd : kCAFillRuleNonZero;
}

void CAShapeLayer::setFillRule(CAShapeLayerFillRule rule) {
  if (named(rule, kCAFillRuleNonZero)) fillRule_ = FillRule::nonZero;
  if (named(rule, kCAFillRuleEvenOdd)) fillRule_ = FillRule::evenOdd;
}
