#pragma once
// The outline of a stroked polyline with round joins, as closed polygons: the very vertices that
// Anti-Grain Geometry's stroker (its default inner miter joins, butt or square caps) yields, up
// to float rounding, so that coverage and its overlaps at inner turns stay as they were. An arc's
// step count comes from the cosine of its turn; its points from bisecting radii when the steps
// halve the turn evenly, else by rotating the first radius by a third of the turn (a cube root)
// or, for other counts, by a sine and cosine found once. Nothing is called per vertex through a
// pointer.

#include <array>
#include <cassert>
#include <cstddef>
#include <span>
#include <vector>

#include "CoreGraphics/CGGeometry.h"

namespace render {

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
    double x, y, dist;  // dist: to the next vertex
    double nx, ny;      // the half width across the segment to the next vertex, once for both joins
  };
  void cap(const Vertex& v0, const Vertex& v1, double length);
  // dx1 … dy2: the half-width normals of the segments v0–v1 and v1–v2.
  void join(const Vertex& v0, const Vertex& v1, const Vertex& v2, double length1, double length2,
            double dx1, double dy1, double dx2, double dy2);
  void arc(double x, double y, double dx1, double dy1, double dx2, double dy2);
  // How many whole steps the counterclockwise turn from one radius to another holds, from the
  // turn's sine and cosine (× half²); −1 when the steps are too many to be told by the table.
  int stepsIn(double sine, double cosine) const;
  // The points between the ends of the arc from radius (dx1, dy1) to (dx2, dy2), a
  // counterclockwise turn (`sine` its side) that `parts`, a power of two, divides evenly.
  void bisectedArc(double x, double y, double dx1, double dy1, double dx2, double dy2, int parts,
                   double sine);
  void miterOrBevel(const Vertex& v0, const Vertex& v1, const Vertex& v2, double dx1, double dy1,
                    double dx2, double dy2, double limit);
  // Room for `count` more points of the outline, made before they are added, so that adding
  // one is a store.
  void room(std::ptrdiff_t count) {
    if (outEnd_ - cursor_ < count) grow(count);
#ifndef NDEBUG
    promised_ = cursor_ + count;
#endif
  }
  void grow(std::ptrdiff_t count);
  void add(double x, double y) {
    assert(cursor_ < promised_ && "a point added without room made for it");
    *cursor_++ = {x, y};
  }
  void endPolygon() {
    ends_.push_back(static_cast<std::size_t>(cursor_ - out_.data()));
  }

  double half_ = 0.5;          // half the width
  double nearlyStraight_ = 0;  // the squared bevel middle beyond which a join is one point
  double arcStep_ = 1.0;       // the largest angle between two points of an arc
  double oneStepCosine_ = 0, twoStepsCosine_ = 0;  // −2 when the angle reaches π
  // cos(k · arcStep_) × half² for k = 1 … stepCount_ (the whole steps below 2π); none when more.
  static constexpr int kMaxTableSteps = 32;
  std::array<double, kMaxTableSteps + 1> stepCosines_{};
  int stepCount_ = 0;
  int stepsToPi_ = 0;  // the steps of stepCosines_ that reach no further than π
  bool square_ = false;
  std::vector<Vertex> vertices_;
  std::vector<CGPoint> out_;  // the outline up to cursor_; its size is the room up to outEnd_
  CGPoint* cursor_ = nullptr;
  CGPoint* outEnd_ = nullptr;
#ifndef NDEBUG
  CGPoint* promised_ = nullptr;  // the end of the room made last
#endif
  std::vector<std::size_t> ends_;
};

}  // namespace render
