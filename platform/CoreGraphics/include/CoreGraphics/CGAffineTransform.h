#pragma once
// Affine transforms with the platform's row-vector convention:
//   x' = a·x + c·y + tx,  y' = b·x + d·y + ty.
// CGAffineTransformScale(CGAffineTransformMakeTranslation(tx, ty), sx, sy) therefore maps
// (x, y) to (x·sx + tx, y·sy + ty): the scale acts first, then the translation.

#include "CoreGraphics/CGGeometry.h"
#include "objc/message.h"

struct CGAffineTransform {
  CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
  friend bool operator==(const CGAffineTransform&, const CGAffineTransform&) = default;
};

inline constexpr CGAffineTransform CGAffineTransformIdentity{};

inline constexpr CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d,
                                                         CGFloat tx, CGFloat ty) {
  return {a, b, c, d, tx, ty};
}
inline constexpr CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty) {
  return {1, 0, 0, 1, tx, ty};
}
inline constexpr CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy) {
  return {sx, 0, 0, sy, 0, 0};
}

// t1 then t2.
inline constexpr CGAffineTransform CGAffineTransformConcat(CGAffineTransform t1,
                                                           CGAffineTransform t2) {
  return {t1.a * t2.a + t1.b * t2.c,           t1.a * t2.b + t1.b * t2.d,
          t1.c * t2.a + t1.d * t2.c,           t1.c * t2.b + t1.d * t2.d,
          t1.tx * t2.a + t1.ty * t2.c + t2.tx, t1.tx * t2.b + t1.ty * t2.d + t2.ty};
}
// A translation applied before t.
inline constexpr CGAffineTransform CGAffineTransformTranslate(CGAffineTransform t, CGFloat tx,
                                                              CGFloat ty) {
  return CGAffineTransformConcat(CGAffineTransformMakeTranslation(tx, ty), t);
}
// A scale applied before t.
inline constexpr CGAffineTransform CGAffineTransformScale(CGAffineTransform t, CGFloat sx,
                                                          CGFloat sy) {
  return CGAffineTransformConcat(CGAffineTransformMakeScale(sx, sy), t);
}

inline constexpr bool CGAffineTransformIsIdentity(CGAffineTransform t) {
  return t == CGAffineTransformIdentity;
}
inline constexpr bool CGAffineTransformEqualToTransform(CGAffineTransform t1,
                                                        CGAffineTransform t2) {
  return t1 == t2;
}

inline constexpr CGPoint CGPointApplyAffineTransform(CGPoint p, CGAffineTransform t) {
  return {t.a * p.x + t.c * p.y + t.tx, t.b * p.x + t.d * p.y + t.ty};
}

// The inverse; t itself when it cannot be inverted, as on the platform.
CGAffineTransform CGAffineTransformInvert(CGAffineTransform t);

namespace objc {
template <>
struct Encoding<CGAffineTransform> {
  static constexpr const char* value = "{CGAffineTransform=dddddd}";
};
}  // namespace objc
