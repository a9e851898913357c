#pragma once
// The outline of a stroked polyline with round joins, as closed polygons: the very vertices that
// Anti-Grain Geometry's stroker (its default inner miter joins, butt or square caps) yields, up
// to float rounding, so that coverage and its overlaps at inner turns stay as they were.
//
// One walk forward makes both sides' joins at each vertex: one cross product tells which side's
// join is the inner one (a miter, or a bevel when the miter reaches too far) and which the outer
// one (an arc). The back side is written from the end of a buffer down, in the order it runs, and
// copied after the forward side. A miter lies along the sum of the two offsets, found without
// intersecting lines. An arc's step count comes from the cosine of its turn; its points from
// bisecting radii when the steps halve the turn evenly, from the rotation by a third of the turn
// (a table's nearest rotation, corrected by a short series) for three steps, or, for other
// counts, by a sine and cosine found once. Nothing is called per vertex through a pointer.

#include <algorithm>
#include <array>
#include <cstddef>
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
  // A point or an offset, its two coordinates as the lanes of one vector.
  using Pair = double __attribute__((vector_size(16)));

  // What the joins take from the width: the runs copy it into a local, which storing points
  // cannot be taken to change, so that none of it is read again after each point.
  struct Joins {
    double half = 0.5;  // half the width
    double halfSquared = 0.25, inverseHalfSquared = 4;
    double innerMiterLimit = 0.505;  // the least reach of an inner miter
    double nearlyStraight = 0;  // 4 × the squared bevel middle beyond which a join is one point
    double arcStep = 1.0;       // the largest angle between two points of an arc
    // The cosines (× half²) of one and two steps; −2 × half² when the angle reaches π.
    double oneStepCosine = 0, twoStepsCosine = 0;
    // cos(k · arcStep) × half² for k = 1 … stepCount (the whole steps below 2π), then +∞; none
    // when more. fallingCosines holds those up to π, then −∞: a count stops at either end.
    static constexpr int kMaxTableSteps = 32;
    std::array<double, kMaxTableSteps + 1> stepCosines{}, fallingCosines{};
    int stepCount = 0;
    int stepsToPi = 0;    // the steps of stepCosines that reach no further than π
    int maxArcSteps = 0;  // the most steps of an arc
    const ThirdsTable* thirds = nullptr;

    // Both sides' joins at vertex c, which follows p: the forward side's after `out`, the back
    // side's before `back` (the back side is written from its end down).
    void join(const Vertex& p, const Vertex& c, CGPoint*& out, CGPoint*& back) const;
    // Where the forward side's offset lines of the segments into and out of a vertex cross,
    // from it: along the sum of their offsets o1, o2, at this fraction half² / (half² + o1 · o2)
    // of it.
    double miterScale(double o1DotO2) const { return halfSquared / (halfSquared + o1DotO2); }
    // How far an inner join's miter may reach: the shorter segment, or a little more than the
    // half width.
    double miterLimit(const Vertex& p, const Vertex& c) const {
      return std::max(std::min(p.length, c.length), innerMiterLimit);
    }
    // The arc around `at` from radius `from` to radius `to` (x, y), counterclockwise, which
    // turns by this cosine (their dot product, × half²): after `out`; or, when `kDown`, from and
    // to negated, before `out`. `out` is moved past it.
    template <bool kDown>
    void arc(Pair at, const double* from, const double* to, double cosine, CGPoint*& out) const;
    // How many whole steps the counterclockwise turn from one radius to another holds, from the
    // turn's sine and cosine (× half²); −1 when the steps are too many to be told by the table.
    int stepsIn(double sine, double cosine) const;
  };

  // Drops coinciding points into vertices_ and finds each segment's length and offset; returns
  // the vertices' count and whether the polyline is still closed.
  std::size_t collectVertices(std::span<const CGPoint> points, bool& closed);
  // The segments from[0] → from[1] → … → from[4] into v[0] … v[3], and from[4] as v[4], when
  // none is too short to keep.
  bool segmentQuad(const CGPoint* from, Vertex* v) const;
  void cap(const Vertex& v0, const Vertex& v1, double length, CGPoint* out) const;

  // Both sides' joins at vertices first … last − 1, each side's end moved with it.
  void joinRun(std::size_t first, std::size_t last, CGPoint*& out, CGPoint*& back);
  // The back side, from `back` up to the end of back_, after `out`; returns the outline's end.
  CGPoint* appendBack(const CGPoint* back, CGPoint* out);
  // The outline's end after `out` moved with it, and how many of `wanted` joins surely have
  // room there (at least one, made when needed).
  struct Room {
    CGPoint* out;
    std::size_t joins;
  };
  Room roomForJoins(CGPoint* out, std::size_t wanted);
  // Both sides' ends moved with their buffers, and how many of `wanted` joins surely have room
  // on both (at least one, made when needed).
  struct BothRoom {
    CGPoint *out, *back;
    std::size_t joins;
  };
  BothRoom roomForJoins(CGPoint* out, CGPoint* back, std::size_t wanted);
  // Room for `count` more points after `out`; returns `out` moved with the outline.
  CGPoint* grow(CGPoint* out, std::ptrdiff_t count);
  void endPolygon() { ends_.push_back(static_cast<std::size_t>(cursor_ - out_.data())); }

  Joins joins_;
  // The most steps of an arc: all those in a whole turn, up to a limit for very wide strokes.
  static constexpr int kMaxArcSteps = 1 << 16;
  std::ptrdiff_t maxJoinPoints_ = 2;  // the most points a join adds
  bool square_ = false;
  std::vector<Vertex> vertices_;
  std::vector<CGPoint> out_;  // the outline up to cursor_; its size is the room up to outEnd_
  CGPoint* cursor_ = nullptr;
  CGPoint* outEnd_ = nullptr;
  // The back side's joins while a polyline is walked, from the end down.
  std::vector<CGPoint> back_;
  std::vector<std::size_t> ends_;
};

}  // namespace render
