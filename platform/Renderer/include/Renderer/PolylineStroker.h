#pragma once
// The outline of a stroked polyline with round joins, as closed polygons: the very vertices that
// Anti-Grain Geometry's stroker (its default inner miter joins, butt or square caps) yields, up
// to float rounding, so that coverage and its overlaps at inner turns stay as they were.
//
// Each vertex is looked at once on the way forward: one cross product tells which side's join is
// the inner one (a miter, or a bevel when the miter reaches too far) and which the outer one (an
// arc), and the way back reads it. A miter lies along the sum of the two offsets, found without
// intersecting lines. An arc's step count comes from the cosine of its turn; its points from
// bisecting radii when the steps halve the turn evenly, from the rotation by a third of the turn
// (a table's nearest rotation, corrected by a short series) for three steps, or, for other
// counts, by a sine and cosine found once. Nothing is called per vertex through a pointer.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "CoreGraphics/CGGeometry.h"

namespace render {

struct ThirdsTable;

class PolylineStroker {
 public:
  enum class Cap { butt, square };

  // `width` in the points' unit; the outline is emptied.
  void begin(double width, Cap cap);
  // Appends the outline of one subpath: one polygon when open, two (outside and inside) when
  // closed; none when it has fewer distinct points than that needs.
  void addPolyline(std::span<const CGPoint> points, bool closed);

  // Every polygon's vertices, one after another; `polygonEnds()` gives where each one stops.
  std::span<const CGPoint> vertices() const {
    return {out_.data(), static_cast<std::size_t>(cursor_ - out_.data())};
  }
  std::span<const std::size_t> polygonEnds() const { return ends_; }

 private:
  struct Vertex {
    double x, y;
    double dx, dy, length;  // to the next vertex
    // The half width across the segment to the next vertex, to the side the outline first runs
    // along (the other side takes it negated, which is exact).
    double ox, oy;
  };

  // Drops coinciding points into vertices_ and finds each segment's length and offset; returns
  // the vertices' count and whether the polyline is still closed.
  std::size_t collectVertices(std::span<const CGPoint> points, bool& closed);
  // The forward side's join at vertex c, which follows p; returns how the vertex turns, for the
  // back side's join.
  std::uint8_t forwardJoin(const Vertex& p, const Vertex& c, CGPoint*& out);
  // The back side's join at c, which follows p on the way forward.
  void backJoin(const Vertex& c, const Vertex& p, std::uint8_t turn, CGPoint*& out);
  // Where the forward side's offset lines of the segments into and out of c cross, from c: along
  // the sum of their offsets o1, o2, at this fraction half² / (half² + o1 · o2) of it.
  double miterScale(const Vertex& p, const Vertex& c) const {
    return halfSquared_ / (halfSquared_ + (p.ox * c.ox + p.oy * c.oy));
  }
  // How far an inner join's miter may reach: the shorter segment, or a little more than the half
  // width.
  double miterLimit(const Vertex& p, const Vertex& c) const {
    return std::max(std::min(p.length, c.length), innerMiterLimit_);
  }
  // A point or an offset, its two coordinates as the lanes of one vector.
  using Pair = double __attribute__((vector_size(16)));
  // The inner side's join at `at`: the miter `m` unless it lies beyond `limit`, else the bevel
  // between the offsets o1 and o2.
  void innerJoin(Pair at, Pair o1, Pair o2, Pair m, double limit, CGPoint*& out) const;
  // The arc around `at` from radius a to radius b, counterclockwise.
  void arc(Pair at, Pair a, Pair b, CGPoint*& out);
  void cap(const Vertex& v0, const Vertex& v1, double length, CGPoint* out) const;
  // How many whole steps the counterclockwise turn from one radius to another holds, from the
  // turn's sine and cosine (× half²); −1 when the steps are too many to be told by the table.
  int stepsIn(double sine, double cosine) const;
  // The points between the ends of the arc around (x, y) from radius (ax, ay) to (bx, by), a
  // counterclockwise turn (`sine` its side) that `parts`, a power of two, divides evenly.
  CGPoint* bisectedArc(double x, double y, double ax, double ay, double bx, double by, int parts,
                       double sine, CGPoint* out) const;

  // The forward side's joins at vertices first … last − 1, and the back side's, last − 1 …
  // first; each returns where the outline then ends.
  CGPoint* forwardRun(std::size_t first, std::size_t last, CGPoint* out);
  CGPoint* backRun(std::size_t first, std::size_t last, CGPoint* out);
  // The outline's end after `out` moved with it, and how many of `wanted` joins surely have
  // room there (at least one, made when needed).
  struct Room {
    CGPoint* out;
    std::size_t joins;
  };
  Room roomForJoins(CGPoint* out, std::size_t wanted);
  // Room for `count` more points after `out`; returns `out` moved with the outline.
  CGPoint* grow(CGPoint* out, std::ptrdiff_t count);
  void endPolygon() { ends_.push_back(static_cast<std::size_t>(cursor_ - out_.data())); }

  double half_ = 0.5;  // half the width
  double halfSquared_ = 0.25, inverseHalfSquared_ = 4;
  double innerMiterLimit_ = 0.505;  // the least reach of an inner miter
  double nearlyStraight_ = 0;  // 4 × the squared bevel middle beyond which a join is one point
  double arcStep_ = 1.0;       // the largest angle between two points of an arc
  // The cosines (× half²) of one and two steps; −2 × half² when the angle reaches π.
  double oneStepCosine_ = 0, twoStepsCosine_ = 0;
  // cos(k · arcStep_) × half² for k = 1 … stepCount_ (the whole steps below 2π); none when more.
  static constexpr int kMaxTableSteps = 32;
  std::array<double, kMaxTableSteps + 1> stepCosines_{};
  int stepCount_ = 0;
  int stepsToPi_ = 0;  // the steps of stepCosines_ that reach no further than π
  // The most steps of an arc: all those in a whole turn, up to a limit for very wide strokes.
  static constexpr int kMaxArcSteps = 1 << 16;
  int maxArcSteps_ = 0;
  std::ptrdiff_t maxJoinPoints_ = 2;  // the most points a join adds
  const ThirdsTable* thirds_ = nullptr;
  bool square_ = false;
  std::vector<Vertex> vertices_;
  std::vector<CGPoint> out_;  // the outline up to cursor_; its size is the room up to outEnd_
  CGPoint* cursor_ = nullptr;
  CGPoint* outEnd_ = nullptr;
  std::vector<std::uint8_t> turns_;  // per vertex, from the forward run for the back one
  std::vector<std::size_t> ends_;
};

}  // namespace render
