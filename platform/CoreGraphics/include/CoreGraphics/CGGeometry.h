#pragma once
// Points, sizes and rectangles in points (y grows downward), as the views and layers use them.

#include <algorithm>
#include <cmath>

#include "objc/message.h"

using CGFloat = double;

struct CGPoint {
  CGFloat x = 0;
  CGFloat y = 0;
  friend bool operator==(const CGPoint&, const CGPoint&) = default;
};

struct CGSize {
  CGFloat width = 0;
  CGFloat height = 0;
  friend bool operator==(const CGSize&, const CGSize&) = default;
};

struct CGRect {
  CGPoint origin;
  CGSize size;
  friend bool operator==(const CGRect&, const CGRect&) = default;
};

inline constexpr CGPoint CGPointZero{};
inline constexpr CGSize CGSizeZero{};
inline constexpr CGRect CGRectZero{};

inline constexpr CGPoint CGPointMake(CGFloat x, CGFloat y) {
  return {x, y};
}
inline constexpr CGSize CGSizeMake(CGFloat width, CGFloat height) {
  return {width, height};
}
inline constexpr CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  return {{x, y}, {width, height}};
}

// A rectangle with a negative width or height covers the same area as its standardised form.
CGRect CGRectStandardize(CGRect rect);

inline CGFloat CGRectGetWidth(CGRect r) {
  return std::fabs(r.size.width);
}
inline CGFloat CGRectGetHeight(CGRect r) {
  return std::fabs(r.size.height);
}
inline CGFloat CGRectGetMinX(CGRect r) {
  return std::min(r.origin.x, r.origin.x + r.size.width);
}
inline CGFloat CGRectGetMinY(CGRect r) {
  return std::min(r.origin.y, r.origin.y + r.size.height);
}
inline CGFloat CGRectGetMaxX(CGRect r) {
  return std::max(r.origin.x, r.origin.x + r.size.width);
}
inline CGFloat CGRectGetMaxY(CGRect r) {
  return std::max(r.origin.y, r.origin.y + r.size.height);
}
inline CGFloat CGRectGetMidX(CGRect r) {
  return r.origin.x + r.size.width / 2;
}
inline CGFloat CGRectGetMidY(CGRect r) {
  return r.origin.y + r.size.height / 2;
}

inline bool CGPointEqualToPoint(CGPoint a, CGPoint b) {
  return a == b;
}
inline bool CGSizeEqualToSize(CGSize a, CGSize b) {
  return a == b;
}
inline bool CGRectEqualToRect(CGRect a, CGRect b) {
  return a == b;
}
inline bool CGRectIsEmpty(CGRect r) {
  return r.size.width == 0 || r.size.height == 0;
}

// Half-open: the minimum edges belong to the rectangle, the maximum edges do not.
bool CGRectContainsPoint(CGRect rect, CGPoint point);
CGRect CGRectInset(CGRect rect, CGFloat dx, CGFloat dy);
CGRect CGRectOffset(CGRect rect, CGFloat dx, CGFloat dy);
// The common area; CGRectZero-sized at the origin of neither when they do not meet.
CGRect CGRectIntersection(CGRect a, CGRect b);
CGRect CGRectUnion(CGRect a, CGRect b);

// Geometry travels through typed sends with the platform's encodings.
namespace objc {
template <>
struct Encoding<CGPoint> {
  static constexpr const char* value = "{CGPoint=dd}";
};
template <>
struct Encoding<CGSize> {
  static constexpr const char* value = "{CGSize=dd}";
};
template <>
struct Encoding<CGRect> {
  static constexpr const char* value = "{CGRect={CGPoint=dd}{CGSize=dd}}";
};
}  // namespace objc
