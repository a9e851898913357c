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

// The radius halfway along the counterclockwise turn from radius a to radius b (both `half`
// long; `sine` gives the turn's side): along their sum when the turn is within a right angle
// of none or of a whole one, else across their difference; each is then the longer, so exact.
inline CGPoint bisector(double ax, double ay, double bx, double by, double sine, double half) {
  double x = by - ay, y = ax - bx;
  if (ax * bx + ay * by > 0) {
    x = sine < 0 ? -(ax + bx) : ax + bx;
    y = sine < 0 ? -(ay + by) : ay + by;
  }
  const double scale = half / std::sqrt(x * x + y * y);
  return {x * scale, y * scale};
}

// The rotation by a third of a counterclockwise turn of less than π, given as the unit
// (cosine, sine): the cube root nearest a third of the way, by Newton's method. It starts from
// the blend 10 : 16 : 1 of no turn, half the turn and the whole, whose angle is a third of the
// way up to a fifth-order error (weights of mean 2/3 and no skew), and three steps reach float
// rounding.
inline CGPoint thirdOfTurn(double cosine, double sine) {
  const CGPoint b = bisector(1, 0, cosine, sine, sine, 1);
  double x = 10 + 16 * b.x + cosine, y = 16 * b.y + sine;
  const double length = std::sqrt(x * x + y * y);
  x /= length;
  y /= length;
  for (int i = 0; i < 3; ++i) {
    const double x2 = x * x - y * y, y2 = 2 * x * y;
    const double x3 = x2 * x - y2 * y, y3 = x2 * y + y2 * x;
    // z − (z³ − w) / 3z² = (2z³ + w) / 3z²
    const double nx = 2 * x3 + cosine, ny = 2 * y3 + sine;
    const double inverse = 1 / (3 * (x2 * x2 + y2 * y2));
    x = (nx * x2 + ny * y2) * inverse;
    y = (ny * x2 - nx * y2) * inverse;
  }
  return {x, y};
}

}  // namespace

void PolylineStroker::begin(double width, Cap cap) {
  half_ = width * 0.5;
  // The arc's chord may stray an eighth of a pixel from the circle.
  arcStep_ = std::acos(half_ / (half_ + 0.125)) * 2;
  // Turns of less than one step, or two, told apart from the cosine of the turn alone.
  oneStepCosine_ = arcStep_ < std::numbers::pi ? std::cos(arcStep_) : -2;
  twoStepsCosine_ = 2 * arcStep_ < std::numbers::pi ? std::cos(2 * arcStep_) : -2;
  stepCount_ = stepsToPi_ = 0;
  if (2 * std::numbers::pi / arcStep_ < kMaxTableSteps) {
    for (int k = 1; k * arcStep_ < 2 * std::numbers::pi; ++k) {
      stepCosines_[k] = std::cos(k * arcStep_) * half_ * half_;
      if (k * arcStep_ <= std::numbers::pi) stepsToPi_ = k;
      stepCount_ = k;
    }
  }
  nearlyStraight_ = half_ * (1 - 1.0 / 1024) * half_ * (1 - 1.0 / 1024);
  square_ = cap == Cap::square;
  cursor_ = out_.data();
  outEnd_ = out_.data() + out_.size();
  ends_.clear();
}

void PolylineStroker::grow(std::ptrdiff_t count) {
  const std::ptrdiff_t used = cursor_ - out_.data();
  out_.resize(std::max(out_.size() * 2, static_cast<std::size_t>(used + count)));
  cursor_ = out_.data() + used;
  outEnd_ = out_.data() + out_.size();
}

void PolylineStroker::addPolyline(std::span<const CGPoint> points, bool closed) {
  // Coinciding points dropped: of a run in the middle the first stays, at the end the last.
  auto& v = vertices_;
  v.clear();
  auto apart = [](const Vertex& a, const Vertex& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    return dx * dx + dy * dy > kCoincident * kCoincident;
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
    const double across = half_ / v[k].dist;
    v[k].nx = (next.y - v[k].y) * across;
    v[k].ny = (next.x - v[k].x) * across;
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
  // Around the ring by neighbours' indices kept in step, with no division per join.
  for (std::size_t k = 0, previous = n - 1; k < n; previous = k++) {
    const Vertex& p = v[previous];
    join(p, v[k], v[k + 1 < n ? k + 1 : 0], p.dist, v[k].dist, p.nx, p.ny, v[k].nx, v[k].ny);
  }
  endPolygon();
  for (std::size_t k = n - 1, next = 0; k < n; next = k--) {
    const Vertex& p = v[k > 0 ? k - 1 : n - 1];
    join(v[next], v[k], p, v[k].dist, p.dist, -v[k].nx, -v[k].ny, -p.nx, -p.ny);
  }
  endPolygon();
}

void PolylineStroker::cap(const Vertex& v0, const Vertex& v1, double length) {
  room(2);
  double dx1 = (v1.y - v0.y) / length;
  double dy1 = (v1.x - v0.x) / length;
  dx1 *= half_;
  dy1 *= half_;
  const double dx2 = square_ ? dy1 : 0, dy2 = square_ ? dx1 : 0;
  add(v0.x - dx1 - dx2, v0.y + dy1 - dy2);
  add(v0.x + dx1 - dx2, v0.y - dy1 - dy2);
}

[[gnu::always_inline]] inline void PolylineStroker::join(const Vertex& v0, const Vertex& v1,
                                                         const Vertex& v2, double length1,
                                                         double length2, double dx1, double dy1,
                                                         double dx2, double dy2) {
  // A miter, a bevel, a crossing or an arc of less than two steps.
  room(3);
  const double turn = cross(v0.x, v0.y, v1.x, v1.y, v2.x, v2.y);
  if (turn > 0) {
    // The inner side: the offset lines' crossing, unless it lies too far out.
    const double limit = std::max(std::min(length1, length2) / half_, kInnerMiterLimit);
    miterOrBevel(v0, v1, v2, dx1, dy1, dx2, dy2, limit);
    return;
  }
  const double dx = (dx1 + dx2) / 2;
  const double dy = (dy1 + dy2) / 2;
  // The bevel's middle within half / 1024 of the full half width (compared squared).
  if (dx * dx + dy * dy > nearlyStraight_) {
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

[[gnu::always_inline]] inline void PolylineStroker::arc(double x, double y, double dx1, double dy1,
                                                        double dx2, double dy2) {
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
  const int steps = stepsIn(sine, cosine);
  if (steps >= 0 && steps <= 7 && (steps & (steps + 1)) == 0) {
    // None, one, three or seven points: the turn halved, and halved again.
    room(steps + 1);
    bisectedArc(x, y, dx1, dy1, dx2, dy2, steps + 1, sine);
    add(x + dx2, y + dy2);
    return;
  }
  double c = 0, s = 0;
  int n = steps;
  if (steps == 2 && sine > 0) {
    const double unit = 1 / (half_ * half_);
    const CGPoint third = thirdOfTurn(cosine * unit, sine * unit);
    c = third.x;
    s = third.y;
  } else {
    // The turn from the first radius to the second, counterclockwise in 0 … 2π.
    double angle = std::atan2(sine, cosine);
    if (angle < 0) angle += 2 * std::numbers::pi;
    if (n < 0) n = static_cast<int>(angle / arcStep_);
    c = std::cos(angle / (n + 1));
    s = std::sin(angle / (n + 1));
  }
  room(n + 1);
  double ux = dx1, uy = dy1;
  for (int i = 0; i < n; ++i) {
    const double rx = c * ux - s * uy;
    uy = s * ux + c * uy;
    ux = rx;
    add(x + ux, y + uy);
  }
  add(x + dx2, y + dy2);
}

int PolylineStroker::stepsIn(double sine, double cosine) const {
  if (stepCount_ == 0) return -1;
  // Up to π the steps' cosines fall; a turn past π holds all of those, and the rising rest.
  int k = 0;
  if (sine >= 0) {
    while (k < stepsToPi_ && stepCosines_[k + 1] >= cosine) ++k;
    return k;
  }
  k = stepsToPi_;
  while (k < stepCount_ && stepCosines_[k + 1] <= cosine) ++k;
  return k;
}

void PolylineStroker::bisectedArc(double x, double y, double dx1, double dy1, double dx2,
                                  double dy2, int parts, double sine) {
  if (parts < 2) return;
  const CGPoint m = bisector(dx1, dy1, dx2, dy2, sine, half_);
  // Each half turns less than π, counterclockwise.
  bisectedArc(x, y, dx1, dy1, m.x, m.y, parts / 2, 1);
  add(x + m.x, y + m.y);
  bisectedArc(x, y, m.x, m.y, dx2, dy2, parts / 2, 1);
}

[[gnu::always_inline]] inline void PolylineStroker::miterOrBevel(const Vertex& v0, const Vertex& v1,
                                                                 const Vertex& v2, double dx1,
                                                                 double dy1, double dx2, double dy2,
                                                                 double limit) {
  double xi = v1.x, yi = v1.y;
  if (intersection(v0.x + dx1, v0.y - dy1, v1.x + dx1, v1.y - dy1, v1.x + dx2, v1.y - dy2,
                   v2.x + dx2, v2.y - dy2, &xi, &yi)) {
    const double mx = xi - v1.x, my = yi - v1.y;
    if (mx * mx + my * my <= half_ * limit * half_ * limit) {
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
