// Thinning a whole pixel column at a time, with the points taken into device pixels first,
// keeps exactly the points that thinning one mapped point at a time keeps: for dense and sparse
// runs, x going back, and coordinates that are NaN, infinite or huge.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "Renderer/PathDecimation.h"

namespace {

// One point at a time: a run continues while it stays in its column and x does not go back;
// a short run is kept whole, a longer one as first, first lowest and highest in order, last.
std::vector<CGPoint> thinnedPointByPoint(const std::vector<CGPoint>& points) {
  std::vector<CGPoint> out;
  std::size_t i = 0;
  while (i < points.size()) {
    const std::size_t first = i;
    const double left = std::floor(points[i].x);
    std::size_t low = i, high = i;
    for (++i; i < points.size(); ++i) {
      const CGPoint p = points[i];
      if (!(p.x >= left && p.x < left + 1 && p.x >= points[i - 1].x)) break;
      if (p.y < points[low].y) low = i;
      if (p.y > points[high].y) high = i;
    }
    if (i - first <= 4) {
      out.insert(out.end(), points.begin() + first, points.begin() + i);
      continue;
    }
    out.push_back(points[first]);
    if (std::min(low, high) != first) out.push_back(points[std::min(low, high)]);
    if (low != high && std::max(low, high) != i - 1) out.push_back(points[std::max(low, high)]);
    out.push_back(points[i - 1]);
  }
  return out;
}

struct ThinningCase {
  const char* name;
  double step;     // mean x step in user space
  double oddity;   // NaN, infinity or a huge value, put in now and then (0: none)
  bool backwards;  // x goes back now and then
};

class ColumnThinning : public ::testing::TestWithParam<ThinningCase> {};

TEST_P(ColumnThinning, KeepsThePointsThatThinningPointByPointKeeps) {
  const ThinningCase& c = GetParam();
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0, 1);
  const render::DeviceMatrix matrix{2, 0, 0, -2, 3.25, 700};
  for (int trial = 0; trial < 30; ++trial) {
    std::vector<CGPoint> points;
    double x = -20 + unit(random) * 10;
    for (int i = 0; i < 5 + trial * 40; ++i) {
      x += (c.backwards && i % 9 == 8 ? -3 : 1) * c.step * unit(random);
      CGPoint p{x, unit(random) * 300 - 150};
      if (c.oddity != 0 && i % 23 == 22) (i % 2 == 0 ? p.y : p.x) = c.oddity;
      // Flat stretches: equal heights, for the first of the lowest and highest.
      if (i % 11 == 10) p.y = points.back().y;
      points.push_back(p);
    }
    std::vector<CGPoint> device;
    for (const CGPoint& p : points)
      device.push_back({matrix.xx * p.x + matrix.xy * p.y + matrix.x0,
                        matrix.yx * p.x + matrix.yy * p.y + matrix.y0});
    const std::vector<CGPoint> expected = thinnedPointByPoint(device);

    std::vector<CGPoint> thinned(points.size());
    const render::ThinnedPoints made = render::thinDeviceColumns(points, matrix, thinned.data());
    thinned.resize(static_cast<std::size_t>(made.end - thinned.data()));
    ASSERT_EQ(thinned.size(), expected.size()) << "trial " << trial;
    auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    for (std::size_t k = 0; k < expected.size(); ++k) {
      ASSERT_TRUE(same(thinned[k].x, expected[k].x) && same(thinned[k].y, expected[k].y))
          << "trial " << trial << ", point " << k;
    }
    bool finite = true;
    for (const CGPoint& p : expected) finite &= std::isfinite(p.x) && std::isfinite(p.y);
    EXPECT_EQ(made.finite, finite) << "trial " << trial;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ColumnThinning,
    ::testing::Values(
        ThinningCase{"dense", 0.09, 0, false}, ThinningCase{"sparse", 1.5, 0, false},
        ThinningCase{"denseGoingBack", 0.09, 0, true},
        ThinningCase{"withNaNs", 0.09, std::numeric_limits<double>::quiet_NaN(), false},
        ThinningCase{"withInfinities", 0.09, std::numeric_limits<double>::infinity(), true},
        ThinningCase{"withHugeValues", 0.09, 1e300, false}),
    [](const ::testing::TestParamInfo<ThinningCase>& info) {
      return std::string(info.param.name);
    });

}  // namespace
