#include <algorithm>
#include <cmath>

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGGeometry.h"

CGRect CGRectStandardize(CGRect rect) {
  return CGRectMake(CGRectGetMinX(rect), CGRectGetMinY(rect), CGRectGetWidth(rect),
                    CGRectGetHeight(rect));
}

bool CGRectContainsPoint(CGRect rect, CGPoint point) {
  return point.x >= CGRectGetMinX(rect) && point.x < CGRectGetMaxX(rect) &&
         point.y >= CGRectGetMinY(rect) && point.y < CGRectGetMaxY(rect);
}

CGRect CGRectInset(CGRect rect, CGFloat dx, CGFloat dy) {
  const CGRect r = CGRectStandardize(rect);
  return CGRectMake(r.origin.x + dx, r.origin.y + dy, r.size.width - 2 * dx,
                    r.size.height - 2 * dy);
}

CGRect CGRectOffset(CGRect rect, CGFloat dx, CGFloat dy) {
  return CGRectMake(rect.origin.x + dx, rect.origin.y + dy, rect.size.width, rect.size.height);
}

CGRect CGRectIntersection(CGRect a, CGRect b) {
  const CGFloat x0 = std::max(CGRectGetMinX(a), CGRectGetMinX(b));
  const CGFloat y0 = std::max(CGRectGetMinY(a), CGRectGetMinY(b));
  const CGFloat x1 = std::min(CGRectGetMaxX(a), CGRectGetMaxX(b));
  const CGFloat y1 = std::min(CGRectGetMaxY(a), CGRectGetMaxY(b));
  if (x1 < x0 || y1 < y0) return CGRectZero;
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGRect CGRectUnion(CGRect a, CGRect b) {
  const CGFloat x0 = std::min(CGRectGetMinX(a), CGRectGetMinX(b));
  const CGFloat y0 = std::min(CGRectGetMinY(a), CGRectGetMinY(b));
  const CGFloat x1 = std::max(CGRectGetMaxX(a), CGRectGetMaxX(b));
  const CGFloat y1 = std::max(CGRectGetMaxY(a), CGRectGetMaxY(b));
  return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGAffineTransform CGAffineTransformInvert(CGAffineTransform t) {
  const CGFloat det = t.a * t.d - t.b * t.c;
  if (det == 0 || !std::isfinite(det)) return t;
  const CGFloat a = t.d / det, b = -t.b / det, c = -t.c / det, d = t.a / det;
  return {a, b, c, d, -(a * t.tx + c * t.ty), -(b * t.tx + d * t.ty)};
}
