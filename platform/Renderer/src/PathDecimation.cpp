#include "Renderer/PathDecimation.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace render {

namespace {

// The pixel column of x: floor without a call for the coordinates of a picture.
inline double columnOf(double x) {
  if (!(std::fabs(x) < 1e15)) return std::floor(x);
  const double whole = static_cast<double>(static_cast<long long>(x));
  return whole > x ? whole - 1 : whole;
}

// A whole pixel column at a time: its run is found by x alone, and only where its lowest and
// highest lie is kept while it is read. `read(i)` gives point i, in place in `points` from then
// on. Each point kept lies at or after where it goes, and after every point kept before it, so
// the points move down without overwriting one still to be read.
template <class Read>
[[gnu::always_inline]] inline ThinnedPoints thinRuns(CGPoint* points, std::size_t count,
                                                     Read read) {
  CGPoint* out = points;
  // Stays 0 while every point kept is finite: x − x is NaN for an infinity and a NaN.
  double check = 0;
  auto put = [&](CGPoint p) {
    check += (p.x - p.x) + (p.y - p.y);
    *out++ = p;
  };
  std::size_t i = 0;
  CGPoint p = count > 0 ? read(0) : CGPoint{};
  while (i < count) {
    const std::size_t first = i;
    // A point at or right of the column's left edge: a later one at or right of it is too.
    const double right = columnOf(p.x) + 1;
    double lastX = p.x, lowY = p.y, highY = p.y;
    std::size_t lowAt = first, highAt = first;
    for (++i; i < count; ++i) {
      p = read(i);
      // A run continues while it stays in its column and x does not go back.
      if (!(p.x < right && p.x >= lastX)) break;
      lastX = p.x;
      const bool lower = p.y < lowY;
      const bool higher = p.y > highY;
      lowAt = lower ? i : lowAt;
      lowY = lower ? p.y : lowY;
      highAt = higher ? i : highAt;
      highY = higher ? p.y : highY;
    }
    // All of a short run, else first, extremes in their order, last.
    if (i - first <= 4) {
      for (std::size_t k = first; k < i; ++k) put(points[k]);
      continue;
    }
    const std::size_t a = std::min(lowAt, highAt), b = std::max(lowAt, highAt);
    put(points[first]);
    if (a != first) put(points[a]);
    if (b != a && b != i - 1) put(points[b]);
    put(points[i - 1]);
  }
  return {out, check == 0};
}

}  // namespace

// Each point taken into device pixels as it is read, both coordinates at once, in the order of
// the matrix's own arithmetic (no fused multiply-adds): the same values.
[[gnu::target_clones("avx2", "default")]] ThinnedPoints thinDeviceColumns(
    std::span<const CGPoint> points, const DeviceMatrix& matrix, CGPoint* out) {
  using Pair = double __attribute__((vector_size(16)));
  const Pair xs = {matrix.xx, matrix.yx}, ys = {matrix.xy, matrix.yy},
             shift = {matrix.x0, matrix.y0};
  const CGPoint* source = points.data();
  return thinRuns(out, points.size(), [=](std::size_t i) {
    const Pair x = {source[i].x, source[i].x}, y = {source[i].y, source[i].y};
    const Pair device = x * xs + y * ys + shift;
    CGPoint p;
    std::memcpy(static_cast<void*>(&p), &device, sizeof device);
    out[i] = p;
    return p;
  });
}

}  // namespace render
