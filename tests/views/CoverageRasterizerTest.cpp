// The coverage rasteriser's polygons, whose edges are measured a run at a time in vectors, against
// the same edges added one by one: the same coverage to the bit, in the widest vectors the
// processor has and in the baseline ones. Random walks inside the picture (dense steps as a round
// join's, long slanted and steep edges, points on pixel and row lines) and across its edges.
// Rectangles on quarter pixels, blended over a picture, against their areas and the blender's
// rounding worked out pixel by pixel: runs of varying coverage at a row's start, middle and end,
// in pictures narrower than four pixels, in the picture's last pixel, and across long spans; in a
// translucent colour and an opaque one.

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

struct Rect {
  double x0, y0, x1, y1;
};

struct RectCase {
  const char* name;
  int width, height;
  std::vector<Rect> rects;  // in rows apart
};

void PrintTo(const RectCase& c, std::ostream* os) {
  *os << c.name;
}

std::uint32_t multiply(std::uint32_t a, std::uint32_t b) {
  const std::uint32_t t = a * b + 128;
  return ((t >> 8) + t) >> 8;
}

// The colour at `cover` over `pixel`, byte by byte, premultiplied.
std::uint32_t blended(std::uint32_t pixel, std::uint32_t color, std::uint32_t cover) {
  std::uint32_t source = 0;
  for (unsigned shift = 0; shift < 32; shift += 8)
    source |= (cover == 255 ? (color >> shift) & 0xff : multiply((color >> shift) & 0xff, cover))
              << shift;
  std::uint32_t out = 0;
  for (unsigned shift = 0; shift < 32; shift += 8) {
    const std::uint32_t d = (pixel >> shift) & 0xff;
    out |= ((d + ((source >> shift) & 0xff) - multiply(d, source >> 24)) & 0xff) << shift;
  }
  return out;
}

class Rectangles : public ::testing::TestWithParam<std::tuple<RectCase, bool, std::uint32_t>> {};

TEST_P(Rectangles, BlendTheirAreas) {
  const auto& [c, wideVectors, color] = GetParam();
  render::CoverageRasterizer rasterizer(false, wideVectors);
  rasterizer.reset(c.width, c.height);
  for (const Rect& r : c.rects) {
    const CGPoint corners[] = {{r.x0, r.y0}, {r.x1, r.y0}, {r.x1, r.y1}, {r.x0, r.y1}};
    rasterizer.addPolygon(corners);
  }
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(c.width * c.height));
  for (std::size_t k = 0; k < pixels.size(); ++k)
    pixels[k] = 0x80402010u + static_cast<std::uint32_t>(k % 7) * 0x01010101u;
  std::vector<std::uint32_t> expected = pixels;
  rasterizer.sweep(false, reinterpret_cast<std::uint8_t*>(pixels.data()), c.width * 4u, color);
  int differing = 0;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x) {
      double area = 0;
      for (const Rect& r : c.rects)
        area += std::max(0.0, std::min(x + 1.0, r.x1) - std::max(x + 0.0, r.x0)) *
                std::max(0.0, std::min(y + 1.0, r.y1) - std::max(y + 0.0, r.y0));
      std::uint32_t& e = expected[static_cast<std::size_t>(y * c.width + x)];
      e = blended(e, color, std::min(255, static_cast<int>(area * 256)));
      differing += pixels[static_cast<std::size_t>(y * c.width + x)] != e;
    }
  EXPECT_EQ(differing, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rects, Rectangles,
    ::testing::Combine(
        ::testing::Values(RectCase{"atTheRowsStartMiddleAndEnd",
                                   23,
                                   12,
                                   {{0, 0.25, 2.75, 3},
                                    {5.5, 3, 17.25, 5.75},
                                    {9.75, 6, 23, 8.5},
                                    {18.25, 9, 23, 10},
                                    {20.5, 10, 23, 12}}},
                          RectCase{
                              "narrowerThanFour", 3, 6, {{0.25, 0.5, 2.5, 3}, {1.75, 3, 3, 5.25}}},
                          // Its sides add four cells from the last pixel of the last row on.
                          RectCase{"inTheLastPixel", 5, 3, {{4.25, 2.25, 4.75, 3}}},
                          // Spans of 45 and 41 pixels: stores of 32 and 8, and the rest.
                          RectCase{"longSpans", 50, 4, {{0.5, 0, 47.25, 2}, {3, 2, 46, 4}}}),
        ::testing::Bool(),
        // Premultiplied, translucent and opaque (which is stored rather than blended).
        ::testing::Values(0xc0604020u, 0xff604020u)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "Wide" : "Baseline") +
             (std::get<2>(info.param) >> 24 == 0xff ? "Opaque" : "Translucent");
    });

}  // namespace
