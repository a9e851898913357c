#pragma once
// A layer that shows a path, filled and/or stroked. As on the platform the fill starts opaque
// black and the stroke starts as none; line width 1, miter joins, butt caps, non-zero winding.

#include <cstdint>

#include "CoreGraphics/CoreGraphics.h"
#include "QuartzCore/CALayer.h"

using CAShapeLayerLineJoin = const char*;
using CAShapeLayerLineCap = const char*;
using CAShapeLayerFillRule = const char*;

inline constexpr CAShapeLayerLineJoin kCALineJoinMiter = "miter";
inline constexpr CAShapeLayerLineJoin kCALineJoinRound = "round";
inline constexpr CAShapeLayerLineJoin kCALineJoinBevel = "bevel";
inline constexpr CAShapeLayerLineCap kCALineCapButt = "butt";
inline constexpr CAShapeLayerLineCap kCALineCapRound = "round";
inline constexpr CAShapeLayerLineCap kCALineCapSquare = "square";
inline constexpr CAShapeLayerFillRule kCAFillRuleNonZero = "non-zero";
inline constexpr CAShapeLayerFillRule kCAFillRuleEvenOdd = "even-odd";

class CAShapeLayer : public CALayer {
  OBJC_NATIVE_CLASS(CAShapeLayer, CALayer)
 public:
  enum class LineJoin { miter, round, bevel };
  enum class LineCap { butt, round, square };
  enum class FillRule { nonZero, evenOdd };

  CAShapeLayer() = default;
  static StrongRef<CAShapeLayer> layer() { return objc::make<CAShapeLayer>(); }

  // The layer keeps its own reference to the path.
  CGPathRef path() const { return path_.get(); }
  void setPath(CGPathRef path);

  // Null means none.
  CGColorRef fillColor() const { return hasFill_ ? &fill_ : nullptr; }
  void setFillColor(CGColorRef color);
  CGColorRef strokeColor() const { return hasStroke_ ? &stroke_ : nullptr; }
  void setStrokeColor(CGColorRef color);

  CGFloat lineWidth() const { return lineWidth_; }
  void setLineWidth(CGFloat width) { setDrawn(lineWidth_, width); }
  CGFloat miterLimit() const { return miterLimit_; }
  void setMiterLimit(CGFloat limit) { setDrawn(miterLimit_, limit); }

  // The platform's named constants; an unknown name keeps the current value.
  CAShapeLayerLineJoin lineJoin() const;
  void setLineJoin(CAShapeLayerLineJoin join);
  CAShapeLayerLineCap lineCap() const;
  void setLineCap(CAShapeLayerLineCap cap);
  CAShapeLayerFillRule fillRule() const;
  void setFillRule(CAShapeLayerFillRule rule);
  LineJoin lineJoinStyle() const { return lineJoin_; }
  LineCap lineCapStyle() const { return lineCap_; }
  FillRule fillRuleStyle() const { return fillRule_; }

 private:
  cg::PathRef path_;
  std::uint64_t pathPrint_ = 0;  // of path_'s subpaths and points, 0 for none
  CGColor fill_ = CGColorMakeRGBA(0, 0, 0, 1);
  CGColor stroke_;
  bool hasFill_ = true;
  bool hasStroke_ = false;
  CGFloat lineWidth_ = 1.0;
  CGFloat miterLimit_ = 10.0;
  LineJoin lineJoin_ = LineJoin::miter;
  LineCap lineCap_ = LineCap::butt;
  FillRule fillRule_ = FillRule::nonZero;
};
