#include "Renderer/PolylineStroker.h"

#include <emmintrin.h>
#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
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
inline void put(double* xy, Pair p) {
  std::memcpy(xy, &p, sizeof p);
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

// Two points, or two pairs of lanes (only ever in locals: passed, it would take the wider
// vectors' calling convention, which the baseline build does not have).
using Quad = double __attribute__((vector_size(32)));

// The points between the ends of the arc around (x, y) from radius (ax, ay) to (bx, by), a
// counterclockwise turn (`sine` its side) that `parts`, a power of two, divides evenly.
CGPoint* bisectedArc(double x, double y, double ax, double ay, double bx, double by, int parts,
                     double sine, double half, CGPoint* out) {
  if (parts < 2) return out;
  const CGPoint m = bisector(ax, ay, bx, by, sine, half);
  // Each half turns less than π, counterclockwise.
  out = bisectedArc(x, y, ax, ay, m.x, m.y, parts / 2, 1, half, out);
  *out++ = {x + m.x, y + m.y};
  return bisectedArc(x, y, m.x, m.y, bx, by, parts / 2, 1, half, out);
}

// `count` points from `from` to `to`, eight at a time (the library's copy of this size is a
// string instruction, which steps a byte at a time through the counts we measure by).
inline void copyPoints(const CGPoint* from, std::ptrdiff_t count, CGPoint* to) {
  std::ptrdiff_t i = 0;
  for (; i + 8 <= count; i += 8) {
    Quad a, b, c, d;
    std::memcpy(&a, &from[i], sizeof a);
    std::memcpy(&b, &from[i + 2], sizeof b);
    std::memcpy(&c, &from[i + 4], sizeof c);
    std::memcpy(&d, &from[i + 6], sizeof d);
    std::memcpy(static_cast<void*>(&to[i]), &a, sizeof a);
    std::memcpy(static_cast<void*>(&to[i + 2]), &b, sizeof b);
    std::memcpy(static_cast<void*>(&to[i + 4]), &c, sizeof c);
    std::memcpy(static_cast<void*>(&to[i + 6]), &d, sizeof d);
  }
  for (; i < count; ++i) put(&to[i], pairAt(&from[i].x));
}

// Where `count` points of a side start, its end moved past them: after `end`, or, for the back
// side (`kDown`), which is written from its end down, before it.
template <bool kDown>
[[gnu::always_inline]] inline CGPoint* take(CGPoint*& end, std::ptrdiff_t count) {
  CGPoint* const first = kDown ? end - count : end;
  end = kDown ? first : end + count;
  return first;
}

// A side's inner join at `at`: the miter `m` unless it reaches beyond `limit`, else the bevel from
// offset o1 to o2; placed as take<kDown> places it.
template <bool kDown>
[[gnu::always_inline]] inline void innerJoin(Pair at, Pair o1, Pair o2, Pair m, double limit,
                                             CGPoint*& end) {
  if (m[0] * m[0] + m[1] * m[1] <= limit * limit) {
    put(take<kDown>(end, 1), at + m);
    return;
  }
  CGPoint* const w = take<kDown>(end, 2);
  put(w, at + o1);
  put(w + 1, at + o2);
}

}  // namespace

[[gnu::always_inline]] inline bool PolylineStroker::segmentQuad(const CGPoint* from,
                                                                Vertex* v) const {
  Quad p0, p1, p2, p3;  // from[k] and from[k + 1]
  std::memcpy(&p0, &from[0], sizeof p0);
  std::memcpy(&p1, &from[1], sizeof p1);
  std::memcpy(&p2, &from[2], sizeof p2);
  std::memcpy(&p3, &from[3], sizeof p3);
  // Segments 0 and 1 in one vector, 2 and 3 in the other, (dx, dy) each.
  const Quad d01 = p1 - p0, d23 = p3 - p2;
  const Quad squares01 = d01 * d01, squares23 = d23 * d23;
  // Each segment's dx² + dy², in the lanes 0, 2, 1, 3 (the order of unpacking by halves).
  const Quad squared = __builtin_shufflevector(squares01, squares23, 0, 4, 2, 6) +
                       __builtin_shufflevector(squares01, squares23, 1, 5, 3, 7);
  const auto apart = squared > kCoincident * kCoincident;
  if (!(apart[0] & apart[1] & apart[2] & apart[3])) return false;
  const Pair length02 = _mm_sqrt_pd(__builtin_shufflevector(squared, squared, 0, 1));
  const Pair length13 = _mm_sqrt_pd(__builtin_shufflevector(squared, squared, 2, 3));
  const Quad across = joins_.half / __builtin_shufflevector(length02, length13, 0, 1, 2, 3);
  const Quad ox = __builtin_shufflevector(d01, d23, 1, 5, 3, 7) * across;
  const Quad oy = -(__builtin_shufflevector(d01, d23, 0, 4, 2, 6) * across);
  // The offsets (ox, oy) of segments 0 and 1, and of 2 and 3.
  const Quad o01 = __builtin_shufflevector(ox, oy, 0, 4, 2, 6);
  const Quad o23 = __builtin_shufflevector(ox, oy, 1, 5, 3, 7);
  // Segment k's (dx, dy), length and offset into its vertex, and the point it ends at.
  auto keep = [&](int k, Pair d, double length, Pair o) {
    put(&v[k].dx, d);
    v[k].length = length;
    put(&v[k].ox, o);
    put(&v[k + 1].x, pairAt(&from[k + 1].x));
  };
  keep(0, __builtin_shufflevector(d01, d01, 0, 1), length02[0],
       __builtin_shufflevector(o01, o01, 0, 1));
  keep(1, __builtin_shufflevector(d01, d01, 2, 3), length13[0],
       __builtin_shufflevector(o01, o01, 2, 3));
  keep(2, __builtin_shufflevector(d23, d23, 0, 1), length02[1],
       __builtin_shufflevector(o23, o23, 0, 1));
  keep(3, __builtin_shufflevector(d23, d23, 2, 3), length13[1],
       __builtin_shufflevector(o23, o23, 2, 3));
  return true;
}

void PolylineStroker::begin(double width, Cap cap) {
  Joins& j = joins_;
  const double half = j.half = width * 0.5;
  // The arc's chord may stray an eighth of a pixel from the circle.
  const double step = j.arcStep = std::acos(half / (half + 0.125)) * 2;
  // Turns of less than one step, or two, told apart from the cosine of the turn alone.
  j.oneStepCosine = (step < std::numbers::pi ? std::cos(step) : -2) * half * half;
  j.twoStepsCosine = (2 * step < std::numbers::pi ? std::cos(2 * step) : -2) * half * half;
  j.stepCount = j.stepsToPi = 0;
  if (2 * std::numbers::pi / step < Joins::kMaxTableSteps) {
    for (int k = 1; k * step < 2 * std::numbers::pi; ++k) {
      j.stepCosines[k] = std::cos(k * step) * half * half;
      if (k * step <= std::numbers::pi) j.stepsToPi = k;
      j.stepCount = k;
    }
    j.stepCosines[j.stepCount + 1] = std::numeric_limits<double>::infinity();
    std::copy_n(j.stepCosines.begin(), j.stepsToPi + 1, j.fallingCosines.begin());
    j.fallingCosines[j.stepsToPi + 1] = -std::numeric_limits<double>::infinity();
  }
  j.nearlyStraight = 4 * (half * (1 - 1.0 / 1024) * half * (1 - 1.0 / 1024));
  j.halfSquared = half * half;
  j.inverseHalfSquared = 1 / (half * half);
  j.innerMiterLimit = kInnerMiterLimit * half;
  // A join's points: the arc's steps and its two ends.
  const double stepsInTurn = 2 * std::numbers::pi / step;
  j.maxArcSteps = stepsInTurn < kMaxArcSteps ? static_cast<int>(stepsInTurn) + 1 : kMaxArcSteps;
  maxJoinPoints_ = (j.stepCount > 0 ? j.stepCount : j.maxArcSteps) + 2;
  j.thirds = &ThirdsTable::shared();
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

PolylineStroker::BothRoom PolylineStroker::roomForJoins(CGPoint* out, CGPoint* back,
                                                        std::size_t wanted) {
  const Room room = roomForJoins(out, wanted);
  if ((back - back_.data()) / maxJoinPoints_ == 0) {
    // The back side written so far moves to the end of the larger buffer.
    const std::size_t before = back_.size();
    const std::ptrdiff_t written = back_.data() + before - back;
    const std::size_t size =
        std::max(before * 2, static_cast<std::size_t>(written + room.joins * maxJoinPoints_));
    back_.resize(size);
    back = std::copy_backward(back_.data() + before - written, back_.data() + before,
                              back_.data() + size);
  }
  return {room.out, back,
          std::min(room.joins, static_cast<std::size_t>((back - back_.data()) / maxJoinPoints_))};
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
    const double across = joins_.half / from.length;
    from.ox = dy * across;
    from.oy = -(dx * across);
  };
  // A point that coincides with the last one kept is dropped: of a run in the middle the first
  // stays, at the end the last.
  Vertex* last = v;
  last->x = points[0].x;
  last->y = points[0].y;
  std::size_t lastKept = 0;
  for (std::size_t i = 1; i < points.size();) {
    // Four segments at once while the point before was kept and none is too short.
    if (lastKept + 1 == i && i + 3 < points.size() && segmentQuad(&points[i - 1], last)) {
      last += 4;
      lastKept = i + 3;
      i += 4;
      continue;
    }
    const double x = points[i].x, y = points[i].y, dx = x - last->x, dy = y - last->y;
    ++i;
    if (!apart(dx, dy)) continue;
    segment(*last, dx, dy);
    ++last;
    last->x = x;
    last->y = y;
    lastKept = i - 1;
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
  dx1 *= joins_.half;
  dy1 *= joins_.half;
  const double dx2 = square_ ? dy1 : 0, dy2 = square_ ? dx1 : 0;
  out[0] = {v0.x - dx1 - dx2, v0.y + dy1 - dy2};
  out[1] = {v0.x + dx1 - dx2, v0.y - dy1 - dy2};
}

inline int PolylineStroker::Joins::stepsIn(double sine, double cosine) const {
  if (stepCount == 0) return -1;
  // Up to π the steps' cosines fall; a turn past π holds all of those, and the rising rest.
  if (sine >= 0) {
    // Past the arcs of less than two steps, most turns hold two (with one step to π, the second
    // is −∞).
    int k = fallingCosines[2] >= cosine ? 2 : 0;
    while (fallingCosines[k + 1] >= cosine) ++k;
    return k;
  }
  int k = stepsToPi;
  while (stepCosines[k + 1] <= cosine) ++k;
  return k;
}

template <bool kDown>
[[gnu::always_inline]] inline void PolylineStroker::Joins::arc(Pair at, const double* from,
                                                               const double* to, double cosine,
                                                               CGPoint*& out) const {
  // The radii read as they are, or negated for the back side (which is exact).
  const double ax = kDown ? -from[0] : from[0], ay = kDown ? -from[1] : from[1];
  const double bx = kDown ? -to[0] : to[0], by = kDown ? -to[1] : to[1];
  const Pair a = {ax, ay}, b = {bx, by};
  const double sine = ax * by - ay * bx;  // × half²
  if (sine >= 0 && cosine > twoStepsCosine) {
    // Less than two steps counterclockwise: no point between the ends, or one halfway.
    if (cosine <= oneStepCosine) {
      const Pair m = a + b;
      CGPoint* const w = take<kDown>(out, 3);
      put(w, at + a);
      put(w + 1, at + m * (half / std::sqrt(m[0] * m[0] + m[1] * m[1])));
      put(w + 2, at + b);
      return;
    }
    CGPoint* const w = take<kDown>(out, 2);
    put(w, at + a);
    put(w + 1, at + b);
    return;
  }
  const double x = at[0], y = at[1];
  const int steps = stepsIn(sine, cosine);
  if (steps == 2 && sine > 0) {
    // Two points: the first radius turned by a third, and by a third again.
    const CGPoint z = thirdOfTurn(*thirds, cosine * inverseHalfSquared, sine * inverseHalfSquared);
    const double x1 = z.x * ax - z.y * ay, y1 = z.y * ax + z.x * ay;
    const double x2 = z.x * x1 - z.y * y1, y2 = z.y * x1 + z.x * y1;
    CGPoint* const w = take<kDown>(out, 4);
    put(w, at + a);
    put(w + 1, at + Pair{x1, y1});
    put(w + 2, at + Pair{x2, y2});
    put(w + 3, at + b);
    return;
  }
  if (steps == 3) {
    // Three points: the turn halved, and each half halved again.
    const CGPoint m = bisector(ax, ay, bx, by, sine, half);
    const CGPoint m1 = bisector(ax, ay, m.x, m.y, 1, half);
    const CGPoint m3 = bisector(m.x, m.y, bx, by, 1, half);
    CGPoint* const w = take<kDown>(out, 5);
    put(w, at + a);
    put(w + 1, at + Pair{m1.x, m1.y});
    put(w + 2, at + Pair{m.x, m.y});
    put(w + 3, at + Pair{m3.x, m3.y});
    put(w + 4, at + b);
    return;
  }
  if (steps >= 0 && steps <= 7 && (steps & (steps + 1)) == 0) {
    // None, one or seven points: the turn halved, and halved again.
    CGPoint* w = take<kDown>(out, steps + 2);
    put(w++, at + a);
    w = bisectedArc(x, y, ax, ay, bx, by, steps + 1, sine, half, w);
    *w = {x + bx, y + by};
    return;
  }
  // Any other count: the rotation by one step from its sine and cosine.
  int n = steps;
  double angle = std::atan2(sine, cosine);
  if (angle < 0) angle += 2 * std::numbers::pi;
  if (n < 0) {
    // More steps than the table holds, as many as a join has room for.
    const double count = angle / arcStep;
    n = count >= 0 && count < maxArcSteps ? static_cast<int>(count) : count >= 0 ? maxArcSteps : 0;
  }
  CGPoint* const w = take<kDown>(out, n + 2);
  put(w, at + a);
  const double c = std::cos(angle / (n + 1)), s = std::sin(angle / (n + 1));
  double ux = ax, uy = ay;
  for (int i = 1; i <= n; ++i) {
    const double rx = c * ux - s * uy;
    uy = s * ux + c * uy;
    ux = rx;
    w[i] = {x + ux, y + uy};
  }
  w[n + 1] = {x + bx, y + by};
}

[[gnu::always_inline]] inline void PolylineStroker::Joins::join(const Vertex& p, const Vertex& c,
                                                                CGPoint*& out,
                                                                CGPoint*& back) const {
  // The back side turns the other way, by exactly the negated cross product: its join is the
  // outer one where the forward one is inner, and the other way round. An inner join is the
  // miter along the offsets' sum, or the bevel when the miter reaches too far.
  const double turn = c.dx * p.dy - c.dy * p.dx;
  // The offsets' sum, twice the bevel's middle: when the middle lies within half / 1024 of the
  // full half width (compared squared), the join is nearly straight on; the same on both sides.
  const Pair at = pairAt(&c.x), o1 = pairAt(&p.ox), o2 = pairAt(&c.ox), sum = o1 + o2;
  const bool straight = sum[0] * sum[0] + sum[1] * sum[1] > nearlyStraight;
  // The offsets' dot product: the cosine of the turn (× half²), on either side.
  const Pair products = o1 * o2;
  const double cosine = products[0] + products[1];
  const Pair m = sum * miterScale(cosine);
  if (turn > 0) {
    innerJoin<false>(at, o1, o2, m, miterLimit(p, c), out);
    if (straight)
      put(--back, at - m);
    else
      arc<true>(at, &c.ox, &p.ox, cosine, back);
    return;
  }
  if (turn < 0) {
    if (straight)
      put(out++, at + m);
    else
      arc<false>(at, &p.ox, &c.ox, cosine, out);
    // The forward side's miter and offsets, negated (which is exact).
    innerJoin<true>(at, -o2, -o1, -m, miterLimit(p, c), back);
    return;
  }
  // No turn (or not a number): neither side is inner.
  if (straight) {
    put(out++, at + m);
    put(--back, at - m);
    return;
  }
  arc<false>(at, &p.ox, &c.ox, cosine, out);
  arc<true>(at, &c.ox, &p.ox, cosine, back);
}

STROKER_CLONES void PolylineStroker::joinRun(std::size_t first, std::size_t last, CGPoint*& outEnd,
                                             CGPoint*& backStart) {
  const Vertex* v = vertices_.data();
  // The shape and the ends in locals, which the points' stores cannot be taken to change.
  const Joins joins = joins_;
  CGPoint *out = outEnd, *back = backStart;
  for (std::size_t k = first; k < last;) {
    const BothRoom room = roomForJoins(out, back, last - k);
    out = room.out;
    back = room.back;
    for (const std::size_t end = k + room.joins; k < end; ++k)
      joins.join(v[k - 1], v[k], out, back);
    assert(out <= outEnd_ && back >= back_.data() && "joins added beyond the room made for them");
  }
  outEnd = out;
  backStart = back;
}

STROKER_CLONES CGPoint* PolylineStroker::appendBack(const CGPoint* back, CGPoint* out) {
  const std::ptrdiff_t count = back_.data() + back_.size() - back;
  if (outEnd_ - out < count) out = grow(out, count);
  copyPoints(back, count, out);
  return out + count;
}

void PolylineStroker::addPolyline(std::span<const CGPoint> points, bool closed) {
  const std::size_t n = collectVertices(points, closed);
  if (n < 2) return;
  const Vertex* v = vertices_.data();
  CGPoint* out = cursor_;
  CGPoint* back = back_.data() + back_.size();
  if (!closed) {
    out = roomForJoins(out, 1).out;
    cap(v[0], v[1], v[0].length, out);
    out += 2;
    joinRun(1, n - 1, out, back);
    out = roomForJoins(out, 1).out;
    cap(v[n - 1], v[n - 2], v[n - 2].length, out);
    cursor_ = appendBack(back, out + 2);
    endPolygon();
    return;
  }
  // The join where the ring's neighbours wrap around, then the rest in order.
  const BothRoom room = roomForJoins(out, back, 1);
  out = room.out;
  back = room.back;
  joins_.join(v[n - 1], v[0], out, back);
  joinRun(1, n, out, back);
  cursor_ = out;
  endPolygon();
  cursor_ = appendBack(back, out);
  endPolygon();
}

}  // namespace render
