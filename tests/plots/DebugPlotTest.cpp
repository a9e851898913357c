// The debug plot, checked against values worked out here: twenty windowed lines evenly spaced
// from the top edge, closed along the bottom corners, coloured per line on every frame.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "PlotTestSupport.h"
#include "Vellamor2/WavePlotDebug.h"
#include "objc/message.h"

namespace {

using plot_testing::fillChannel;
using plot_testing::makeRecord;
using plot_testing::noise;
using plot_testing::pathClosed;
using plot_testing::pathPoints;
using plot_testing::sameColor;
using plot_testing::settings;

constexpr double kWidth = 240;
constexpr double kHeight = 300;

class DebugPlotTest : public ::testing::Test {
 protected:
  void TearDown() override { plot->clear(); }

  void apply(std::initializer_list<plot_testing::SettingValue> overrides) {
    msgSend<void>(plot.get(), "updateSettings:", static_cast<id>(settings(overrides).get()));
  }
  void draw(const serverDataStruct& record) {
    msgSend<void>(plot.get(), "updateDataAndDraw:", const_cast<serverDataStruct*>(&record));
  }
  CAShapeLayer* line(unsigned i) const { return plot->joyplotLayers()[i]; }

  StrongRef<WavePlotDebug> plot =
      plot_testing::makePlot<WavePlotDebug>(CGRectMake(0, 0, kWidth, kHeight));
};

TEST_F(DebugPlotTest, LinesStartOnTheTopEdgeAndCloseOnTheBottomCorners) {
  // The window is made on every frame: a change of frame count shows at once. Channel 1 is
  // never read.
  for (int frames : {4096, 700}) {
    auto record = makeRecord(2, frames);
    fillChannel(*record, 0, noise(0.9f, 21));
    fillChannel(*record, 1, [](int) { return 1.0f; });
    const double gain = 1.7;
    apply({{"waveGain", gain}});
    draw(*record);
    ASSERT_EQ(plot->layer()->sublayers().size(), 20u);
    for (unsigned i = 0; i < 20; ++i) {
      EXPECT_EQ(plot->layer()->sublayers()[i].get(), line(i));
      EXPECT_TRUE(pathClosed(line(i)));
      const auto points = pathPoints(line(i));
      ASSERT_EQ(points.size(), static_cast<std::size_t>(frames) + 2);
      const double zero = i * kHeight / 20;  // line 0 on the top edge
      for (int j = 0; j < frames; ++j) {
        const double window = 0.54 - 0.46 * std::cos(2 * std::numbers::pi * j / frames);
        const double v = std::clamp(gain * record->data[0][i * frames + j] * window, -1.0, 1.0);
        ASSERT_NEAR(points[j].x, j * kWidth / frames, 1e-9) << "line " << i << " point " << j;
        ASSERT_NEAR(points[j].y, zero + 0.1 * kHeight * v, 1e-4) << "line " << i << " point " << j;
      }
      EXPECT_NEAR(points[frames].x, kWidth, 1e-9);
      EXPECT_NEAR(points[frames].y, kHeight, 1e-9);
      EXPECT_NEAR(points[frames + 1].x, 0, 1e-9);
      EXPECT_NEAR(points[frames + 1].y, kHeight, 1e-9);
    }
  }
}

TEST_F(DebugPlotTest, AmplitudeColoursEachLineByItsPacketOnEveryFrame) {
  apply({{"colourMethod", 1}, {"backgroundColourGreen", 1}});
  const double colours[3][2] = {{1, 0}, {1, 1}, {0, 1}};  // red, yellow, green
  const float levels[3] = {0.9f, 0.7f, 0.2f};
  for (int frame = 0; frame < 3; ++frame) {
    // Each frame shifts the levels by one line, so every line changes colour every frame.
    auto record = makeRecord(1, 512);
    fillChannel(*record, 0, [&](int i) { return levels[(i / 512 + frame) % 3]; });
    draw(*record);
    for (unsigned i = 0; i < 20; ++i) {
      const auto& c = colours[(i + frame) % 3];
      EXPECT_TRUE(sameColor(line(i)->strokeColor(), c[0], c[1], 0, 1))
          << "frame " << frame << " line " << i;
      EXPECT_TRUE(sameColor(line(i)->fillColor(), 0, 1, 0, 1));
    }
  }
  // With amplitude colouring on, the primary colour reaches no line.
  plot->changePrimaryColor(UIColor::blueColor());
  EXPECT_TRUE(sameColor(line(0)->strokeColor(), colours[2][0], colours[2][1], 0, 1));
}

TEST_F(DebugPlotTest, TheBackgroundIsPaintedOpaqueAndTheFillsFollowAtTheNextSetFill) {
  apply({{"backgroundColourRed", 1}, {"primaryColourBlue", 0}});
  for (unsigned i = 0; i < 20; ++i) {
    EXPECT_TRUE(sameColor(line(i)->fillColor(), 1, 0, 0, 1));
    EXPECT_TRUE(sameColor(line(i)->strokeColor(), 1, 1, 0, static_cast<float>(0.9)));
  }
  EXPECT_TRUE(sameColor(plot->layer()->backgroundColor(), 1, 0, 0, 1));
  plot->changeBackgroundColor(UIColor::colorWithRed(0, 0, 1, 0.3));
  EXPECT_TRUE(sameColor(plot->layer()->backgroundColor(), 0, 0, 1, 1));
  EXPECT_TRUE(sameColor(line(7)->fillColor(), 1, 0, 0, 1));
  plot->changePrimaryColor(UIColor::whiteColor());
  EXPECT_TRUE(sameColor(line(7)->fillColor(), 0, 0, 1, 1));
}

TEST_F(DebugPlotTest, RecordsBeyondTheLimitsNeitherBreakNorDrawNaN) {
  apply({});
  auto good = makeRecord(1, 1024);
  fillChannel(*good, 0, noise(0.5f));
  draw(*good);
  const CGPathRef drawn = line(3)->path();
  for (int frames : {0, -1}) {
    auto empty = makeRecord(1, frames);
    draw(*empty);
    EXPECT_EQ(line(3)->path(), drawn) << frames << " frames";
  }
  auto large = makeRecord(1, 4096);
  fillChannel(*large, 0, [](int i) { return i % 2 ? NAN : INFINITY; });
  large->numberFrames = 5000;
  apply({{"waveGain", NAN}});
  draw(*large);
  EXPECT_EQ(plot->numberFrames(), 4096u);
  for (unsigned i = 0; i < 20; ++i) {
    const auto points = pathPoints(line(i));
    ASSERT_EQ(points.size(), 4098u);
    for (const CGPoint& p : points) ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
  }
}

}  // namespace
