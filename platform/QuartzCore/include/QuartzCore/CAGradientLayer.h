#pragma once
// A layer filled with a linear multi-stop gradient, from startPoint to endPoint in unit
// coordinates of the bounds: by default top (0.5, 0) to bottom (0.5, 1). Without locations the
// stops are spread evenly.

#include <initializer_list>
#include <vector>

#include "CoreGraphics/CoreGraphics.h"
#include "QuartzCore/CALayer.h"

class CAGradientLayer : public CALayer {
  OBJC_NATIVE_CLASS(CAGradientLayer, CALayer)
 public:
  CAGradientLayer() = default;
  static StrongRef<CAGradientLayer> layer() { return objc::make<CAGradientLayer>(); }

  const std::vector<CGColor>& colors() const { return colors_; }
  // Null entries are skipped.
  void setColors(std::initializer_list<CGColorRef> colors);
  void setColors(std::vector<CGColor> colors) { setDrawn(colors_, colors); }

  // Stop positions from 0 to 1, one per colour; empty = evenly spaced.
  const std::vector<CGFloat>& locations() const { return locations_; }
  void setLocations(std::vector<CGFloat> locations) { setDrawn(locations_, locations); }

  CGPoint startPoint() const { return startPoint_; }
  void setStartPoint(CGPoint point) { setDrawn(startPoint_, point); }
  CGPoint endPoint() const { return endPoint_; }
  void setEndPoint(CGPoint point) { setDrawn(endPoint_, point); }

  // The colour at unit position t along the axis (clamped), as it is drawn; black transparent
  // when there are no colours. Stops given out of order are sorted for drawing.
  CGColor colorAt(CGFloat t) const;

 private:
  std::vector<CGColor> colors_;
  std::vector<CGFloat> locations_;
  CGPoint startPoint_{0.5, 0.0};
  CGPoint endPoint_{0.5, 1.0};
};
