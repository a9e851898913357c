#include "Renderer/PolylineStroker.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <numbers>

// The stroker's passes in instructions of three operands too, where the processor has them (no
// fused multiply-adds: the same values). Clang's clones of member functions fail as the
// sanitised libraries load, so its builds keep the one version.
#if defined(__clang__)
#define STROKER_CLONES
#else
#define STROKER_CLONES [[gnu::target_clones("avx2", "default")]]
#endif

namespace render {

// Rotations by a third of counterclockwise turns up to π, at the middles of equal cells of the
// pseudo-angle cosine / (|cosine| + |sine|), which runs from 1 down to −1 over the half turn and
// takes from one to two radians per unit: each turn and the rotation by its third, found once.
struct ThirdsTable {
  static constexpr int kCells = 512;
  struct Entry {
    double turnCosine, turnSine, thirdCosine, thirdSine;
  };
  std::array<Entry, kCells> entries;
  static const ThirdsTable& shared() {
    static const ThirdsTable table;
    return table;
  }
  ThirdsTable() {
    for (int j = 0; j < kCells; ++j) {
      const double p = 1 - (j + 0.5) * 2 / kCells;
      const double angle = std::atan2(1 - std::fabs(p), p);
      entries[j] = {std::cos(angle), std::sin(angle), std::cos(angle / 3), std::sin(angle / 3)};
    }
  }
};

namespace {

// Points closer than this are one point.
constexpr double kCoincident = 1e-14;
// An inner join's miter reaches at least this many half widths before it is bevelled.
constexpr double kInnerMiterLimit = 1.01;

// A vertex's turn, as the forward run finds it, for the run back.
constexpr std::uint8_t kInnerBack = 1;  // the back side's join is the inner one
constexpr std::uint8_t kNearlyStraight = 2;
// Growing the outline makes room for about this many more points, or one join's.
constexpr std::ptrdiff_t kGrowthPoints = 1 << 16;

// The stroker's pair of lanes: a point's or an offset's coordinates, added at once.
using Pair = double __attribute__((vector_size(16)));
inline Pair pairAt(const double* xy) {
  Pair p;
  std::memcpy(&p, xy, sizeof p);
  return p;
}
inline void put(CGPoint* out, Pair p) {
  std::memcpy(static_cast<void*>(out), &p, sizeof p);
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
// (cosine, sine): the table's rotation for the nearest turn, times the third of what is left,
// a turn δ of at most 1/256 radian. That third's sine y solves sin δ = 3y − 4y³, which two
// steps of y ← (sin δ + 4y³) / 3 reach within double rounding (each gains a factor 4y²).
inline CGPoint thirdOfTurn(const ThirdsTable& table, double cosine, double sine) {
  const double cell =
      (1 - cosine / (std::fabs(cosine) + std::fabs(sine))) * (ThirdsTable::kCells / 2);
  const int j = cell >= 0 && cell < ThirdsTable::kCells ? static_cast<int>(cell)
                : cell >= ThirdsTable::kCells           ? ThirdsTable::kCells - 1
                                                        : 0;
  const ThirdsTable::Entry& e = table.entries[j];
  // What is left: the turn less the table's, as its sine.
  const double rest = sine * e.turnCosine - cosine * e.turnSine;
  const double third = rest * (1.0 / 3);
  double y = third + (4.0 / 3) * third * third * third;
  y = third + (4.0 / 3) * y * y * y;
  const double y2 = y * y;
  const double x = 1 - y2 * 0.5 - y2 * y2 * 0.125;
  return {e.thirdCosine * x - e.thirdSine * y, e.thirdSine * x + e.thirdCosine * y};
}

}  // namespace

void PolylineStroker::begin(double width, Cap cap) {
  half_ = width * 0.5;
  // The arc's chord may stray an eighth of a pixel from the circle.
  arcStep_ = std::acos(half_ / (half_ + 0.125)) * 2;
  // Turns of less than one step, or two, told apart from the cosine of the turn alone.
  oneStepCosine_ = (arcStep_ < std::numbers::pi ? std::cos(arcStep_) : -2) * half_ * half_;
  twoStepsCosine_ = (2 * arcStep_ < std::numbers::pi ? std::cos(2 * arcStep_) : -2) * half_ * half_;
  stepCount_ = stepsToPi_ = 0;
  if (2 * std::numbers::pi / arcStep_ < kMaxTableSteps) {
    for (int k = 1; k * arcStep_ < 2 * std::numbers::pi; ++k) {
      stepCosines_[k] = std::cos(k * arcStep_) * half_ * half_;
      if (k * arcStep_ <= std::numbers::pi) stepsToPi_ = k;
      stepCount_ = k;
    }
  }
  nearlyStraight_ = 4 * (half_ * (1 - 1.0 / 1024) * half_ * (1 - 1.0 / 1024));
  halfSquared_ = half_ * half_;
  inverseHalfSquared_ = 1 / (half_ * half_);
  innerMiterLimit_ = kInnerMiterLimit * half_;
  // A join's points: the arc's steps and its two ends.
  const double stepsInTurn = 2 * std::numbers::pi / arcStep_;
  maxArcSteps_ = stepsInTurn < kMaxArcSteps ? static_cast<int>(stepsInTurn) + 1 : kMaxArcSteps;
  maxJoinPoints_ = (stepCount_ > 0 ? stepCount_ : maxArcSteps_) + 2;
  thirds_ = &ThirdsTable::shared();
  square_ = cap == Cap::square;
  cursor_ = out_.data();
  outEnd_ = out_.data() + out_.size();
  ends_.clear();
}

CGPoint* PolylineStroker::grow(CGPoint* out, std::ptrdiff_t count) {
  const std::ptrdiff_t committed = cursor_ - out_.data(), used = out - out_.data();
  out_.resize(std::max(out_.size() * 2, static_cast<std::size_t>(used + count)));
  cursor_ = out_.data() + committed;
  outEnd_ = out_.data() + out_.size();
  return out_.data() + used;
}

PolylineStroker::Room PolylineStroker::roomForJoins(CGPoint* out, std::size_t wanted) {
  auto fitting = [&] { return static_cast<std::size_t>((outEnd_ - out) / maxJoinPoints_); };
  if (fitting() == 0) {
    const auto joins = std::clamp<std::ptrdiff_t>(
        static_cast<std::ptrdiff_t>(std::min<std::size_t>(wanted, kGrowthPoints)), 1,
        std::max<std::ptrdiff_t>(kGrowthPoints / maxJoinPoints_, 1));
    out = grow(out, joins * maxJoinPoints_);
  }
  return {out, std::min(wanted, fitting())};
}

STROKER_CLONES std::size_t PolylineStroker::collectVertices(std::span<const CGPoint> points,
                                                            bool& closed) {
  if (points.empty()) return 0;
  if (vertices_.size() < points.size()) vertices_.resize(points.size());
  Vertex* v = vertices_.data();
  auto apart = [](double dx, double dy) { return dx * dx + dy * dy > kCoincident * kCoincident; };
  // Each segment's length and offset once, for the joins at both its ends, on both sides.
  auto segment = [this](Vertex& from, double dx, double dy) {
    from.dx = dx;
    from.dy = dy;
    from.length = std::sqrt(dx * dx + dy * dy);
    const double across = half_ / from.length;
    from.ox = dy * across;
    from.oy = -(dx * across);
  };
  // A point that coincides with the last one kept is dropped: of a run in the middle the first
  // stays, at the end the last.
  Vertex* last = v;
  last->x = points[0].x;
  last->y = points[0].y;
  std::size_t lastKept = 0;
  for (std::size_t i = 1; i < points.size(); ++i) {
    const double x = points[i].x, y = points[i].y, dx = x - last->x, dy = y - last->y;
    if (!apart(dx, dy)) continue;
    segment(*last, dx, dy);
    ++last;
    last->x = x;
    last->y = y;
    lastKept = i;
  }
  std::size_t n = static_cast<std::size_t>(last - v) + 1;
  if (lastKept + 1 < points.size()) {
    v[n - 1].x = points.back().x;
    v[n - 1].y = points.back().y;
    while (n > 1 && !apart(v[n - 1].x - v[n - 2].x, v[n - 1].y - v[n - 2].y)) {
      v[n - 2].x = v[n - 1].x;
      v[n - 2].y = v[n - 1].y;
      --n;
    }
    if (n > 1) segment(v[n - 2], v[n - 1].x - v[n - 2].x, v[n - 1].y - v[n - 2].y);
  }
  if (closed)
    while (n > 1 && !apart(v[0].x - v[n - 1].x, v[0].y - v[n - 1].y)) --n;
  if (n < 3) closed = false;
  if (closed) segment(v[n - 1], v[0].x - v[n - 1].x, v[0].y - v[n - 1].y);
  return n;
}

void PolylineStroker::cap(const Vertex& v0, const Vertex& v1, double length, CGPoint* out) const {
  double dx1 = (v1.y - v0.y) / length;
  double dy1 = (v1.x - v0.x) / length;
  dx1 *= half_;
  dy1 *= half_;
  const double dx2 = square_ ? dy1 : 0, dy2 = square_ ? dx1 : 0;
  out[0] = {v0.x - dx1 - dx2, v0.y + dy1 - dy2};
  out[1] = {v0.x + dx1 - dx2, v0.y - dy1 - dy2};
}

inline int PolylineStroker::stepsIn(double sine, double cosine) const {
  if (stepCount_ == 0) return -1;
  // Up to π the steps' cosines fall; a turn past π holds all of those, and the rising rest.
  int k = 0;
  if (sine >= 0) {
    // Past the arcs of less than two steps, most turns hold two.
    if (stepsToPi_ >= 2 && stepCosines_[2] >= cosine) k = 2;
    while (k < stepsToPi_ && stepCosines_[k + 1] >= cosine) ++k;
    return k;
  }
  k = stepsToPi_;
  while (k < stepCount_ && stepCosines_[k + 1] <= cosine) ++k;
  return k;
}

CGPoint* PolylineStroker::bisectedArc(double x, double y, double ax, double ay, double bx,
                                      double by, int parts, double sine, CGPoint* out) const {
  if (parts < 2) return out;
  const CGPoint m = bisector(ax, ay, bx, by, sine, half_);
  // Each half turns less than π, counterclockwise.
  out = bisectedArc(x, y, ax, ay, m.x, m.y, parts / 2, 1, out);
  *out++ = {x + m.x, y + m.y};
  return bisectedArc(x, y, m.x, m.y, bx, by, parts / 2, 1, out);
}

[[gnu::always_inline]] inline void PolylineStroker::arc(Pair at, Pair a, Pair b, CGPoint*& out) {
  put(out++, at + a);
  const double ax = a[0], ay = a[1], bx = b[0], by = b[1];
  const double sine = ax * by - ay * bx, cosine = ax * bx + ay * by;  // × half²
  if (sine >= 0 && cosine > twoStepsCosine_) {
    // Less than two steps counterclockwise: no point between the ends, or one halfway.
    if (cosine <= oneStepCosine_) {
      const Pair m = a + b;
      put(out++, at + m * (half_ / std::sqrt(m[0] * m[0] + m[1] * m[1])));
    }
    put(out++, at + b);
    return;
  }
  const double x = at[0], y = at[1];
  const int steps = stepsIn(sine, cosine);
  if (steps == 2 && sine > 0) {
    // Two points: the first radius turned by a third, and by a third again.
    const CGPoint z =
        thirdOfTurn(*thirds_, cosine * inverseHalfSquared_, sine * inverseHalfSquared_);
    const double x1 = z.x * ax - z.y * ay, y1 = z.y * ax + z.x * ay;
    const double x2 = z.x * x1 - z.y * y1, y2 = z.y * x1 + z.x * y1;
    put(out, at + Pair{x1, y1});
    put(out + 1, at + Pair{x2, y2});
    put(out + 2, at + b);
    out += 3;
    return;
  }
  if (steps == 3) {
    // Three points: the turn halved, and each half halved again.
    const CGPoint m = bisector(ax, ay, bx, by, sine, half_);
    const CGPoint m1 = bisector(ax, ay, m.x, m.y, 1, half_);
    const CGPoint m3 = bisector(m.x, m.y, bx, by, 1, half_);
    put(out, at + Pair{m1.x, m1.y});
    put(out + 1, at + Pair{m.x, m.y});
    put(out + 2, at + Pair{m3.x, m3.y});
    put(out + 3, at + b);
    out += 4;
    return;
  }
  if (steps >= 0 && steps <= 7 && (steps & (steps + 1)) == 0) {
    // None, one or seven points: the turn halved, and halved again.
    out = bisectedArc(x, y, ax, ay, bx, by, steps + 1, sine, out);
    *out++ = {x + bx, y + by};
    return;
  }
  // Any other count: the rotation by one step from its sine and cosine.
  int n = steps;
  double angle = std::atan2(sine, cosine);
  if (angle < 0) angle += 2 * std::numbers::pi;
  if (n < 0) {
    // More steps than the table holds, as many as a join has room for.
    const double count = angle / arcStep_;
    n = count >= 0 && count < maxArcSteps_ ? static_cast<int>(count)
        : count >= 0                       ? maxArcSteps_
                                           : 0;
  }
  const double c = std::cos(angle / (n + 1)), s = std::sin(angle / (n + 1));
  double ux = ax, uy = ay;
  for (int i = 0; i < n; ++i) {
    const double rx = c * ux - s * uy;
    uy = s * ux + c * uy;
    ux = rx;
    out[i] = {x + ux, y + uy};
  }
  out[n] = {x + bx, y + by};
  out += n + 1;
}

[[gnu::always_inline]] inline void PolylineStroker::innerJoin(Pair at, Pair o1, Pair o2, Pair m,
                                                              double limit, CGPoint*& out) const {
  if (m[0] * m[0] + m[1] * m[1] <= limit * limit) {
    put(out++, at + m);
    return;
  }
  put(out, at + o1);
  put(out + 1, at + o2);
  out += 2;
}

[[gnu::always_inline]] inline std::uint8_t PolylineStroker::forwardJoin(const Vertex& p,
                                                                        const Vertex& c,
                                                                        CGPoint*& out) {
  // The back side turns the other way, by exactly the negated cross product: its join is the
  // outer one where this one is inner, and the other way round.
  const double turn = c.dx * p.dy - c.dy * p.dx;
  // The offsets' sum, twice the bevel's middle: when the middle lies within half / 1024 of the
  // full half width (compared squared), the join is nearly straight on; the same on both sides.
  const Pair at = pairAt(&c.x), o1 = pairAt(&p.ox), o2 = pairAt(&c.ox), sum = o1 + o2;
  const std::uint8_t straight =
      sum[0] * sum[0] + sum[1] * sum[1] > nearlyStraight_ ? kNearlyStraight : 0;
  if (turn > 0) {
    innerJoin(at, o1, o2, sum * miterScale(p, c), miterLimit(p, c), out);
    return straight;
  }
  if (straight)
    put(out++, at + sum * miterScale(p, c));
  else
    arc(at, o1, o2, out);
  return (turn < 0 ? kInnerBack : 0) | straight;
}

[[gnu::always_inline]] inline void PolylineStroker::backJoin(const Vertex& c, const Vertex& p,
                                                             std::uint8_t turn, CGPoint*& out) {
  // The forward side's offsets and miter, negated.
  const Pair at = pairAt(&c.x), o1 = pairAt(&p.ox), o2 = pairAt(&c.ox);
  if (turn & kInnerBack)
    innerJoin(at, -o2, -o1, -((o1 + o2) * miterScale(p, c)), miterLimit(p, c), out);
  else if (turn & kNearlyStraight)
    put(out++, at - (o1 + o2) * miterScale(p, c));
  else
    arc(at, -o2, -o1, out);
}

STROKER_CLONES CGPoint* PolylineStroker::forwardRun(std::size_t first, std::size_t last,
                                                    CGPoint* out) {
  const Vertex* v = vertices_.data();
  std::uint8_t* turns = turns_.data();
  for (std::size_t k = first; k < last;) {
    const Room room = roomForJoins(out, last - k);
    out = room.out;
    for (const std::size_t end = k + room.joins; k < end; ++k)
      turns[k] = forwardJoin(v[k - 1], v[k], out);
    assert(out <= outEnd_ && "joins added beyond the room made for them");
  }
  return out;
}

STROKER_CLONES CGPoint* PolylineStroker::backRun(std::size_t first, std::size_t last,
                                                 CGPoint* out) {
  const Vertex* v = vertices_.data();
  const std::uint8_t* turns = turns_.data();
  for (std::size_t k = last; k-- > first;) {
    const Room room = roomForJoins(out, k + 1 - first);
    out = room.out;
    for (const std::size_t end = k + 1 - room.joins; k > end; --k)
      backJoin(v[k], v[k - 1], turns[k], out);
    backJoin(v[k], v[k - 1], turns[k], out);
    assert(out <= outEnd_ && "joins added beyond the room made for them");
  }
  return out;
}

void PolylineStroker::addPolyline(std::span<const CGPoint> points, bool closed) {
  const std::size_t n = collectVertices(points, closed);
  if (n < 2) return;
  if (turns_.size() < n) turns_.resize(n);
  const Vertex* v = vertices_.data();
  CGPoint* out = cursor_;
  if (!closed) {
    out = roomForJoins(out, 1).out;
    cap(v[0], v[1], v[0].length, out);
    out = forwardRun(1, n - 1, out + 2);
    out = roomForJoins(out, 1).out;
    cap(v[n - 1], v[n - 2], v[n - 2].length, out);
    cursor_ = backRun(1, n - 1, out + 2);
    endPolygon();
    return;
  }
  // The joins where the ring's neighbours wrap around, one at a time.
  out = roomForJoins(out, 1).out;
  turns_[0] = forwardJoin(v[n - 1], v[0], out);
  out = forwardRun(1, n - 1, out);
  out = roomForJoins(out, 1).out;
  turns_[n - 1] = forwardJoin(v[n - 2], v[n - 1], out);
  cursor_ = out;
  endPolygon();
  out = roomForJoins(out, 1).out;
  backJoin(v[n - 1], v[n - 2], turns_[n - 1], out);
  out = backRun(1, n - 1, out);
  out = roomForJoins(out, 1).out;
  backJoin(v[0], v[n - 1], turns_[0], out);
  cursor_ = out;
  endPolygon();
}

}  // namespace render
