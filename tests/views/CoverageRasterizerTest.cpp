// The coverage rasteriser's polygons, whose edges are measured a run at a time in vectors, against
// the same edges added one by one: the same coverage to the bit, in the widest vectors the
// processor has and in the baseline ones. Random walks inside the picture (dense steps as a round
// join's, long slanted and steep edges, points on pixel and row lines) and across its edges.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "CoverageRasterizer.h"

namespace {

struct WalkCase {
  const char* name;
  double step;    // the largest step in x and y
  double grid;    // points rounded to this, or 0
  double beyond;  // how far points may leave the picture
};

void PrintTo(const WalkCase& c, std::ostream* os) {
  *os << c.name;
}

constexpr int kWidth = 97, kHeight = 61;

std::vector<std::vector<CGPoint>> walks(const WalkCase& c) {
  std::mt19937 random(11);
  std::uniform_real_distribution<double> step(-c.step, c.step), start(0, 1);
  std::vector<std::vector<CGPoint>> polygons(12);
  for (auto& polygon : polygons) {
    CGPoint p{start(random) * kWidth, start(random) * kHeight};
    for (int k = 0; k < 200; ++k) {
      p.x = std::clamp(p.x + step(random), -c.beyond, kWidth + c.beyond);
      p.y = std::clamp(p.y + step(random), -c.beyond, kHeight + c.beyond);
      if (c.grid > 0) p = {std::round(p.x / c.grid) * c.grid, std::round(p.y / c.grid) * c.grid};
      polygon.push_back(p);
    }
  }
  return polygons;
}

std::vector<std::uint32_t> coverage(const std::vector<std::vector<CGPoint>>& polygons,
                                    bool wideVectors, bool edgeByEdge) {
  render::CoverageRasterizer rasterizer(false, wideVectors);
  rasterizer.reset(kWidth, kHeight);
  for (const auto& polygon : polygons) {
    if (!edgeByEdge) {
      rasterizer.addPolygon(polygon);
      continue;
    }
    rasterizer.moveTo(polygon[0].x, polygon[0].y);
    for (std::size_t k = 1; k < polygon.size(); ++k) rasterizer.lineTo(polygon[k].x, polygon[k].y);
    rasterizer.closePolygon();
  }
  // White over nothing: each pixel's bytes are its coverage.
  std::vector<std::uint32_t> pixels(kWidth * kHeight, 0);
  rasterizer.sweep(false, reinterpret_cast<std::uint8_t*>(pixels.data()), kWidth * 4, ~0u);
  return pixels;
}

class MeasuredEdges : public ::testing::TestWithParam<std::tuple<WalkCase, bool>> {};

TEST_P(MeasuredEdges, CoverAsTheEdgesOneByOne) {
  const auto& [walk, wideVectors] = GetParam();
  const auto polygons = walks(walk);
  const std::vector<std::uint32_t> measured = coverage(polygons, wideVectors, false);
  const std::vector<std::uint32_t> oneByOne = coverage(polygons, wideVectors, true);
  int differing = 0, covered = 0;
  for (std::size_t k = 0; k < measured.size(); ++k) {
    differing += measured[k] != oneByOne[k];
    covered += oneByOne[k] != 0;
  }
  EXPECT_EQ(differing, 0) << "of " << measured.size() << " pixels";
  EXPECT_GT(covered, kWidth * kHeight / 10);
}

INSTANTIATE_TEST_SUITE_P(Walks, MeasuredEdges,
                         ::testing::Combine(::testing::Values(WalkCase{"denseSteps", 0.8, 0, 0},
                                                              WalkCase{"longEdges", 30, 0, 0},
                                                              WalkCase{"onPixelLines", 3, 0.5, 0},
                                                              WalkCase{"acrossThePicturesEdges", 12,
                                                                       0, 15}),
                                            ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "Wide" : "Baseline");
                         });

}  // namespace
