#pragma once
// Thinning of dense polylines before they are stroked: inside one device pixel column, an
// x-monotonic run of points is replaced by its first, lowest, highest and last point (lowest
// and highest in their order along the run). The stroke's outline within that column is the
// same to a fraction of a pixel, and a waveform of thousands of points over a few hundred
// columns costs a few hundred segments.

#include <cstddef>
#include <span>
#include <vector>

#include "CoreGraphics/CGGeometry.h"

namespace render {

// The thinning of one subpath fed a point at a time (device coordinates), so that the points
// can be made as they are thinned; what it keeps is appended to `out`.
class ColumnThinner {
 public:
  explicit ColumnThinner(std::vector<CGPoint>& out) : out_(out) {}
  void add(CGPoint p) {
    // A run continues while it stays in its column and x does not go back.
    if (count_ == 0 || !(p.x >= left_ && p.x < right_ && p.x >= last_.x)) {
      startRun(p);
      return;
    }
    if (p.y < low_.y) {
      low_ = p;
      lowAt_ = count_;
    }
    if (p.y > high_.y) {
      high_ = p;
      highAt_ = count_;
    }
    if (count_ < 4) first_[count_] = p;
    last_ = p;
    ++count_;
  }
  // Ends the subpath: its last run appended.
  void finish();

 private:
  void startRun(CGPoint p);

  std::vector<CGPoint>& out_;
  // The run under way: its pixel column by its edges, its first points (all of a short run),
  // its first lowest and first highest point and where they came in it, and its last point.
  double left_ = 0, right_ = 0;
  std::size_t count_ = 0;
  CGPoint first_[4]{};
  CGPoint low_{}, high_{}, last_{};
  std::size_t lowAt_ = 0, highAt_ = 0;
};

// Appends the thinned `points` (device coordinates, one subpath) to `out`.
void decimateColumns(std::span<const CGPoint> points, std::vector<CGPoint>& out);

}  // namespace render
