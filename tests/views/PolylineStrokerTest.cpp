// The stroker's outline against Anti-Grain Geometry's for random polylines: jagged and dense,
// with repeated points, open and closed, butt and square caps, thin and wide (at a width of 80 an
// arc has more steps than the stroker's table of them holds).

#include <agg_conv_stroke.h>
#include <agg_path_storage.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Renderer/PolylineStroker.h"

namespace {

struct StrokerCase {
  const char* name;
  bool closed;
  bool square;
  double width;
  double spread;  // of each step in x; dense waveforms move little in x per point
};

class PolylineStrokerOutline : public ::testing::TestWithParam<StrokerCase> {};

TEST_P(PolylineStrokerOutline, IsAntiGrainGeometrysOutline) {
  const StrokerCase& c = GetParam();
  std::mt19937 random(7);
  std::uniform_real_distribution<double> step(-c.spread, c.spread), height(0, 60);
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<CGPoint> points;
    double x = 30;
    for (int i = 0; i < 3 + trial * 5; ++i) {
      // Every seventh point repeats the one before, as a flat run does.
      if (i % 7 == 6) {
        points.push_back(points.back());
        continue;
      }
      x += step(random);
      points.push_back({x, height(random)});
    }
    render::PolylineStroker stroker;
    stroker.begin(c.width, c.square ? render::PolylineStroker::Cap::square
                                    : render::PolylineStroker::Cap::butt);
    stroker.addPolyline(points, c.closed);

    agg::path_storage path;
    path.move_to(points[0].x, points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i) path.line_to(points[i].x, points[i].y);
    if (c.closed) path.close_polygon();
    agg::conv_stroke<agg::path_storage> outline(path);
    outline.width(c.width);
    outline.line_join(agg::round_join);
    outline.line_cap(c.square ? agg::square_cap : agg::butt_cap);
    outline.rewind(0);
    std::vector<CGPoint> expected;
    std::vector<std::size_t> ends;
    double px = 0, py = 0;
    for (unsigned command = outline.vertex(&px, &py); !agg::is_stop(command);
         command = outline.vertex(&px, &py)) {
      if (agg::is_vertex(command)) expected.push_back({px, py});
      if (agg::is_end_poly(command)) ends.push_back(expected.size());
    }

    const auto vertices = stroker.vertices();
    ASSERT_EQ(vertices.size(), expected.size()) << "trial " << trial;
    EXPECT_EQ(std::vector<std::size_t>(stroker.polygonEnds().begin(), stroker.polygonEnds().end()),
              ends)
        << "trial " << trial;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      ASSERT_NEAR(vertices[i].x, expected[i].x, 1e-9) << "trial " << trial << ", vertex " << i;
      ASSERT_NEAR(vertices[i].y, expected[i].y, 1e-9) << "trial " << trial << ", vertex " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Polylines, PolylineStrokerOutline,
    ::testing::Values(StrokerCase{"openJagged", false, false, 2, 20},
                      StrokerCase{"closedJagged", true, false, 2, 20},
                      StrokerCase{"openDenseSquare", false, true, 2, 0.3},
                      StrokerCase{"closedDenseWide", true, false, 9, 0.3},
                      StrokerCase{"openThin", false, false, 0.5, 4},
                      StrokerCase{"closedJaggedVeryWide", true, false, 80, 20}),
    [](const ::testing::TestParamInfo<StrokerCase>& info) { return std::string(info.param.name); });

}  // namespace
