#include "StrokeEnvelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "CoverageRasterizer.h"

namespace render {

namespace {

// Below this many points the general stroker costs less than sampling.
constexpr std::size_t kDensePoints = 16;

bool dense(std::span<const CGPoint> points, std::size_t first, std::size_t last) {
  const std::size_t count = last - first + 1;
  return count >= kDensePoints && std::fabs(points[last].x - points[first].x) <= double(count);
}

}  // namespace

void StrokeEnvelope::split(std::span<const CGPoint> points, std::vector<Piece>& pieces) {
  pieces.clear();
  if (points.size() < 2) return;
  std::size_t first = 0;
  int direction = 0;  // of x along the current piece, once it moves
  for (std::size_t i = 1; i < points.size(); ++i) {
    const double dx = points[i].x - points[i - 1].x;
    const int step = dx > 0 ? 1 : dx < 0 ? -1 : 0;
    if (step != 0 && direction != 0 && step != direction) {
      pieces.push_back({first, i - 1, dense(points, first, i - 1)});
      first = i - 1;
    }
    if (step != 0) direction = step;
  }
  pieces.push_back({first, points.size() - 1, dense(points, first, points.size() - 1)});
}

void StrokeEnvelope::addRun(std::span<const CGPoint> run, double halfWidth, double width,
                            CoverageRasterizer& coverage) {
  if (run.size() < 2 || !(halfWidth > 0)) return;
  const double xMin = std::min(run.front().x, run.back().x);
  const double xMax = std::max(run.front().x, run.back().x);
  // Only the part over the picture shows; cut a pixel beyond it on either side.
  const double xLeft = std::max(xMin - halfWidth, -1.0);
  const double xRight = std::min(xMax + halfWidth, width + 1.0);
  if (!(xRight > xLeft)) return;
  constexpr double S = kSamples;
  // Samples: xLeft, the grid points j / S strictly between, xRight.
  const long jA = static_cast<long>(std::floor(xLeft * S)) + 1;
  const long jB = static_cast<long>(std::ceil(xRight * S)) - 1;
  const long inner = std::max(0L, jB - jA + 1);
  const std::size_t count = static_cast<std::size_t>(inner) + 2;
  top_.assign(count, std::numeric_limits<double>::infinity());
  bottom_.assign(count, -std::numeric_limits<double>::infinity());
  xs_.resize(count);
  xs_[0] = xLeft;
  for (std::size_t k = 1; k + 1 < count; ++k) xs_[k] = double(jA + long(k) - 1) / S;
  xs_[count - 1] = xRight;
  // The samples k with a ≤ x(k) ≤ b.
  auto range = [&](double a, double b, std::size_t& from, std::size_t& to) {
    if (b < xLeft || a > xRight) return false;
    from =
        a <= xLeft
            ? 0
            : std::size_t(std::clamp(std::ceil(a * S), double(jA), double(jB + 1)) - double(jA)) +
                  1;
    to = b >= xRight
             ? count - 1
             : std::size_t(std::clamp(std::floor(b * S), double(jA - 1), double(jB)) - double(jA)) +
                   1;
    return from <= to;
  };
  const double h2 = halfWidth * halfWidth;
  std::size_t from = 0, to = 0;
  for (const CGPoint& p : run) {
    if (!range(p.x - halfWidth, p.x + halfWidth, from, to)) continue;
    const double y = p.y;
    for (std::size_t k = from; k <= to; ++k) {
      const double dx = xs_[k] - p.x;
      const double d = std::sqrt(std::max(0.0, h2 - dx * dx));
      top_[k] = std::min(top_[k], y - d);
      bottom_[k] = std::max(bottom_[k], y + d);
    }
  }
  for (std::size_t i = 0; i + 1 < run.size(); ++i) {
    const CGPoint a = run[i], b = run[i + 1];
    const double dx = b.x - a.x, dy = b.y - a.y;
    double length = std::sqrt(dx * dx + dy * dy);
    // The squares overflow for a spike far beyond the picture; hypot does not, slowly.
    if (!std::isfinite(length)) length = std::hypot(dx, dy);
    if (!(length > 0) || !std::isfinite(length) || dx == 0) continue;
    const double nx = -dy / length * halfWidth, ny = dx / length * halfWidth;
    for (const double side : {1.0, -1.0}) {
      const double ax = a.x + side * nx, ay = a.y + side * ny;
      const double bx = b.x + side * nx, by = b.y + side * ny;
      if (!range(std::min(ax, bx), std::max(ax, bx), from, to)) continue;
      // By the fraction along the line, not its slope: a spike a hair wide has an infinite one.
      const double span = bx - ax;
      for (std::size_t k = from; k <= to; ++k) {
        const double t = std::clamp((xs_[k] - ax) / span, 0.0, 1.0);
        const double y = ay * (1 - t) + by * t;
        top_[k] = std::min(top_[k], y);
        bottom_[k] = std::max(bottom_[k], y);
      }
    }
  }
  // Every sample lies within a half width of the run; a gap would only come from rounding.
  for (std::size_t k = 0; k < count; ++k) {
    if (top_[k] <= bottom_[k]) continue;
    top_[k] = k > 0 ? top_[k - 1] : 0;
    bottom_[k] = k > 0 ? bottom_[k - 1] : 0;
  }
  coverage.moveTo(xs_[0], top_[0]);
  for (std::size_t k = 1; k < count; ++k) coverage.lineTo(xs_[k], top_[k]);
  for (std::size_t k = count; k-- > 0;) coverage.lineTo(xs_[k], bottom_[k]);
  coverage.closePolygon();
}

}  // namespace render
