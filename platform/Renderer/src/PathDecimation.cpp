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

void decimateColumns(std::span<const CGPoint> points, std::vector<CGPoint>& out) {
  if (points.empty()) return;
  // The run under way: points[start] onwards, its first lowest and first highest point.
  std::size_t start = 0, low = 0, high = 0;
  // The run's pixel column, by its edges, so that a point within it costs no floor.
  double left = columnOf(points[0].x), right = left + 1;
  // A finished run: all of it when short, else first, extremes in their order, last.
  auto flush = [&](std::size_t end) {
    if (end - start <= 4) {
      out.insert(out.end(), points.begin() + start, points.begin() + end);
      return;
    }
    out.push_back(points[start]);
    const std::size_t a = low < high ? low : high;
    const std::size_t b = low < high ? high : low;
    if (a != start) out.push_back(points[a]);
    if (b != a && b != end - 1) out.push_back(points[b]);
    out.push_back(points[end - 1]);
  };
  for (std::size_t i = 1; i < points.size(); ++i) {
    const CGPoint& p = points[i];
    // A run continues while it stays in its column and x does not go back.
    if (!(p.x >= left && p.x < right && p.x >= points[i - 1].x)) {
      flush(i);
      start = low = high = i;
      left = columnOf(p.x);
      right = left + 1;
      continue;
    }
    if (p.y < points[low].y) low = i;
    if (p.y > points[high].y) high = i;
  }
  flush(points.size());
}

}  // namespace render
