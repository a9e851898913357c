#include "Renderer/PolylineStroker.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace render {

namespace {

// Points closer than this are one point.
constexpr double kCoincident = 1e-14;
// An inner join's miter reaches at least this many half widths before it is bevelled.
constexpr double kInnerMiterLimit = 1.01;

inline double distance(double x1, double y1, double x2, double y2) {
  const double dx = x2 - x1, dy = y2 - y1;
  return std::sqrt(dx * dx + dy * dy);
}

inline double cross(double x1, double y1, double x2, double y2, double x, double y) {
  return (x - x2) * (y2 - y1) - (y - y2) * (x2 - x1);
}

// Where line a–b meets line c–d; false when they are parallel.
inline bool intersection(double ax, double ay, double bx, double by, double cx, double cy,
                         double dx, double dy, double* x, double* y) {
  const double num = (ay - cy) * (dx - cx) - (ax - cx) * (dy - cy);
  const double den = (bx - ax) * (dy - cy) - (by - ay) * (dx - cx);
  if (std::fabs(den) < 1.0e-30) return false;
  const double r = num / den;
  *x = ax + r * (bx - ax);
  *y = ay + r * (by - ay);
  return true;
}

}  // namespace

void PolylineStroker::begin(double width, Cap cap) {
  half_ = width * 0.5;
  // The arc's chord may stray an eighth of a pixel from the circle.
  arcStep_ = std::acos(half_ / (half_ + 0.125)) * 2;
  // Turns of less than one step, or two, told apart from the cosine of the turn alone.
  oneStepCosine_ = arcStep_ < std::numbers::pi ? std::cos(arcStep_) : -2;
  twoStepsCosine_ = 2 * arcStep_ < std::numbers::pi ? std::cos(2 * arcStep_) : -2;
  square_ = cap == Cap::square;
  out_.clear();
  ends_.clear();
}

void PolylineStroker::addPolyline(std::span<const CGPoint> points, bool closed) {
  // Coinciding points dropped: of a run in the middle the first stays, at the end the last.
  auto& v = vertices_;
  v.clear();
  auto apart = [](const Vertex& a, const Vertex& b) {
    return distance(a.x, a.y, b.x, b.y) > kCoincident;
  };
  auto push = [&](double x, double y) {
    if (v.size() > 1 && !apart(v[v.size() - 2], v.back())) v.pop_back();
    v.push_back({x, y, 0, 0, 0});
  };
  for (const CGPoint& p : points) push(p.x, p.y);
  while (v.size() > 1 && !apart(v[v.size() - 2], v.back())) {
    const Vertex last = v.back();
    v.resize(v.size() - 2);
    push(last.x, last.y);
  }
  if (closed)
    while (v.size() > 1 && !apart(v.back(), v.front())) v.pop_back();
  const std::size_t n = v.size();
  if (n < 3) closed = false;
  if (n < 2) return;
  // Each segment's normal once; the way back takes it negated, which is exact.
  for (std::size_t k = 0; k < n; ++k) {
    const Vertex& next = v[k + 1 < n ? k + 1 : 0];
    if (k + 1 == n && !closed) {
      v[k].dist = 0;
      break;
    }
    v[k].dist = distance(v[k].x, v[k].y, next.x, next.y);
    v[k].nx = half_ * (next.y - v[k].y) / v[k].dist;
    v[k].ny = half_ * (next.x - v[k].x) / v[k].dist;
  }

  if (!closed) {
    cap(v[0], v[1], v[0].dist);
    for (std::size_t k = 1; k + 1 < n; ++k)
      join(v[k - 1], v[k], v[k + 1], v[k - 1].dist, v[k].dist, v[k - 1].nx, v[k - 1].ny, v[k].nx,
           v[k].ny);
    cap(v[n - 1], v[n - 2], v[n - 2].dist);
    for (std::size_t k = n - 2; k >= 1; --k)
      join(v[k + 1], v[k], v[k - 1], v[k].dist, v[k - 1].dist, -v[k].nx, -v[k].ny, -v[k - 1].nx,
           -v[k - 1].ny);
    endPolygon();
    return;
  }
  for (std::size_t k = 0; k < n; ++k) {
    const Vertex& previous = v[(k + n - 1) % n];
    join(previous, v[k], v[(k + 1) % n], previous.dist, v[k].dist, previous.nx, previous.ny,
         v[k].nx, v[k].ny);
  }
  endPolygon();
  for (std::size_t k = n; k-- > 0;) {
    const Vertex& previous = v[(k + n - 1) % n];
    join(v[(k + 1) % n], v[k], previous, v[k].dist, previous.dist, -v[k].nx, -v[k].ny, -previous.nx,
         -previous.ny);
  }
  endPolygon();
}

void PolylineStroker::cap(const Vertex& v0, const Vertex& v1, double length) {
  double dx1 = (v1.y - v0.y) / length;
  double dy1 = (v1.x - v0.x) / length;
  dx1 *= half_;
  dy1 *= half_;
  const double dx2 = square_ ? dy1 : 0, dy2 = square_ ? dx1 : 0;
  add(v0.x - dx1 - dx2, v0.y + dy1 - dy2);
  add(v0.x + dx1 - dx2, v0.y - dy1 - dy2);
}

void PolylineStroker::join(const Vertex& v0, const Vertex& v1, const Vertex& v2, double length1,
                           double length2, double dx1, double dy1, double dx2, double dy2) {
  const double turn = cross(v0.x, v0.y, v1.x, v1.y, v2.x, v2.y);
  if (turn > 0) {
    // The inner side: the offset lines' crossing, unless it lies too far out.
    const double limit = std::max(std::min(length1, length2) / half_, kInnerMiterLimit);
    miterOrBevel(v0, v1, v2, dx1, dy1, dx2, dy2, limit);
    return;
  }
  const double dx = (dx1 + dx2) / 2;
  const double dy = (dy1 + dy2) / 2;
  const double bevel = std::sqrt(dx * dx + dy * dy);
  if (half_ - bevel < half_ / 1024.0) {
    // Nearly straight on: one point where the offset lines cross.
    double x = 0, y = 0;
    if (intersection(v0.x + dx1, v0.y - dy1, v1.x + dx1, v1.y - dy1, v1.x + dx2, v1.y - dy2,
                     v2.x + dx2, v2.y - dy2, &x, &y))
      add(x, y);
    else
      add(v1.x + dx1, v1.y - dy1);
    return;
  }
  arc(v1.x, v1.y, dx1, -dy1, dx2, -dy2);
}

void PolylineStroker::arc(double x, double y, double dx1, double dy1, double dx2, double dy2) {
  add(x + dx1, y + dy1);
  const double sine = dx1 * dy2 - dy1 * dx2, cosine = dx1 * dx2 + dy1 * dy2;  // × half²
  if (sine >= 0 && cosine > twoStepsCosine_ * half_ * half_) {
    // Less than two steps counterclockwise: no point between the ends, or one halfway.
    if (cosine <= oneStepCosine_ * half_ * half_) {
      const double mx = dx1 + dx2, my = dy1 + dy2;
      const double scale = half_ / std::sqrt(mx * mx + my * my);
      add(x + mx * scale, y + my * scale);
    }
    add(x + dx2, y + dy2);
    return;
  }
  // The turn from the first radius to the second, counterclockwise in 0 … 2π.
  double angle = std::atan2(sine, cosine);
  if (angle < 0) angle += 2 * std::numbers::pi;
  const int steps = static_cast<int>(angle / arcStep_);
  if (steps > 0) {
    const double step = angle / (steps + 1);
    const double c = std::cos(step), s = std::sin(step);
    double ux = dx1, uy = dy1;
    for (int i = 0; i < steps; ++i) {
      const double rx = c * ux - s * uy;
      uy = s * ux + c * uy;
      ux = rx;
      add(x + ux, y + uy);
    }
  }
  add(x + dx2, y + dy2);
}

void PolylineStroker::miterOrBevel(const Vertex& v0, const Vertex& v1, const Vertex& v2, double dx1,
                                   double dy1, double dx2, double dy2, double limit) {
  double xi = v1.x, yi = v1.y;
  if (intersection(v0.x + dx1, v0.y - dy1, v1.x + dx1, v1.y - dy1, v1.x + dx2, v1.y - dy2,
                   v2.x + dx2, v2.y - dy2, &xi, &yi)) {
    if (distance(v1.x, v1.y, xi, yi) <= half_ * limit) {
      add(xi, yi);
      return;
    }
  } else {
    const double x2 = v1.x + dx1, y2 = v1.y - dy1;
    if ((cross(v0.x, v0.y, v1.x, v1.y, x2, y2) < 0.0) ==
        (cross(v1.x, v1.y, v2.x, v2.y, x2, y2) < 0.0)) {
      add(x2, y2);
      return;
    }
  }
  add(v1.x + dx1, v1.y - dy1);
  add(v1.x + dx2, v1.y - dy2);
}

}  // namespace render
