#pragma once
// A colour as four components from 0 to 1 (red, green, blue, alpha) in device RGB.
// CGColorRef is a borrowed pointer: a null colour means "none", and whoever stores a colour
// (a layer's fill, stroke or background) copies the value, so no reference counting is needed.

#include "CoreGraphics/CGGeometry.h"

struct CGColor {
  CGFloat components[4] = {0, 0, 0, 1};

  CGFloat red() const { return components[0]; }
  CGFloat green() const { return components[1]; }
  CGFloat blue() const { return components[2]; }
  CGFloat alpha() const { return components[3]; }
  friend bool operator==(const CGColor&, const CGColor&) = default;
};

using CGColorRef = const CGColor*;

inline constexpr CGColor CGColorMakeRGBA(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha) {
  return CGColor{{red, green, blue, alpha}};
}
inline const CGFloat* CGColorGetComponents(CGColorRef color) {
  return color != nullptr ? color->components : nullptr;
}
inline CGFloat CGColorGetAlpha(CGColorRef color) {
  return color != nullptr ? color->alpha() : 0;
}
inline bool CGColorEqualToColor(CGColorRef a, CGColorRef b) {
  if (a == nullptr || b == nullptr) return a == b;
  return *a == *b;
}
