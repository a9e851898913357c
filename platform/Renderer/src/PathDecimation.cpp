#include "Renderer/PathDecimation.h"

#include <cmath>

namespace render {

namespace {

// The pixel column of x: floor without a call for the coordinates of a picture.
inline double columnOf(double x) {
  if (!(std::fabs(x) < 1e15)) return std::floor(x);
  const double whole = static_cast<double>(static_cast<long long>(x));
  return whole > x ? whole - 1 : whole;
}

}  // namespace

void ColumnThinner::startRun(CGPoint p) {
  finish();
  left_ = columnOf(p.x);
  right_ = left_ + 1;
  first_[0] = low_ = high_ = last_ = p;
  lowAt_ = highAt_ = 0;
  count_ = 1;
}

void ColumnThinner::finish() {
  // All of a short run, else first, extremes in their order, last.
  if (count_ <= 4) {
    out_.insert(out_.end(), first_, first_ + count_);
  } else {
    out_.push_back(first_[0]);
    const bool lowFirst = lowAt_ < highAt_;
    const std::size_t a = lowFirst ? lowAt_ : highAt_, b = lowFirst ? highAt_ : lowAt_;
    if (a != 0) out_.push_back(lowFirst ? low_ : high_);
    if (b != a && b != count_ - 1) out_.push_back(lowFirst ? high_ : low_);
    out_.push_back(last_);
  }
  count_ = 0;
}

void decimateColumns(std::span<const CGPoint> points, std::vector<CGPoint>& out) {
  ColumnThinner thinner(out);
  for (const CGPoint& p : points) thinner.add(p);
  thinner.finish();
}

}  // namespace render
