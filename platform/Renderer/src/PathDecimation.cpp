#include "Renderer/PathDecimation.h"

#include <cmath>

namespace render {

namespace {

// Emits a finished column run: all of it when short, else first, extremes, last.
void flushRun(std::span<const CGPoint> run, std::vector<CGPoint>& out) {
  if (run.size() <= 4) {
    out.insert(out.end(), run.begin(), run.end());
    return;
  }
  std::size_t low = 0, high = 0;
  for (std::size_t i = 1; i < run.size(); ++i) {
    if (run[i].y < run[low].y) low = i;
    if (run[i].y > run[high].y) high = i;
  }
  out.push_back(run.front());
  const std::size_t a = low < high ? low : high;
  const std::size_t b = low < high ? high : low;
  if (a != 0) out.push_back(run[a]);
  if (b != a && b != run.size() - 1) out.push_back(run[b]);
  out.push_back(run.back());
}

}  // namespace

void decimateColumns(std::span<const CGPoint> points, std::vector<CGPoint>& out) {
  std::size_t start = 0;
  double column = points.empty() ? 0 : std::floor(points[0].x);
  for (std::size_t i = 1; i < points.size(); ++i) {
    const double c = std::floor(points[i].x);
    // A run continues while it stays in its column and x does not go back.
    if (c != column || points[i].x < points[i - 1].x) {
      flushRun(points.subspan(start, i - start), out);
      start = i;
      column = c;
    }
  }
  if (start < points.size()) flushRun(points.subspan(start), out);
}

}  // namespace render
