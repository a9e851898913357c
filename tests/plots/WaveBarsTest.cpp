// The wave bars, checked against envelopes worked out here from the samples: window means,
// halving toward the new height, the rows and their layers, the gradient, and records and
// settings beyond the limits.

#include <gtest/gtest.h>

#include <cmath>

#include "PlotTestSupport.h"
#include "Vellamor2/WavePlotBars.h"
#include "Vellamor2/WavePlotFactory.h"
#include "Vellamor2/WavePlotWaveBars.h"
#include "objc/message.h"

namespace {

using plot_testing::fillChannel;
using plot_testing::makeRecord;
using plot_testing::newestSample;
using plot_testing::noise;
using plot_testing::pathPoints;
using plot_testing::settings;

constexpr double kWidth = 300;
constexpr double kHeight = 200;

class WaveBarsTest : public ::testing::Test {
 protected:
  void TearDown() override { plot->clear(); }
  void apply(std::initializer_list<plot_testing::SettingValue> overrides) {
    msgSend<void>(plot.get(), "updateSettings:", static_cast<id>(settings(overrides).get()));
  }
  void draw(serverDataStruct& record) { msgSend<void>(plot.get(), "updateDataAndDraw:", &record); }
  const CGPoint* corners(unsigned channel, unsigned bar) const {
    return plot->displayPoints() + (channel * plot->barsPerPlot() + bar) * 4;
  }
  CAShapeLayer* barLayer(unsigned channel, unsigned bar) const {
    return plot->waveformLayers()[channel * plot->barsPerPlot() + bar];
  }
  std::size_t attachedBars() const {
    std::size_t count = 0;
    for (const auto& bar : plot->waveformLayers()) count += bar->superlayer() == plot->layer();
    return count;
  }

  StrongRef<WavePlotWaveBars> plot =
      plot_testing::makePlot<WavePlotWaveBars>(CGRectMake(0, 0, kWidth, kHeight));
};

TEST(BarsPlotFactory, VisMethodOneAndTwoGiveTheBarPlots) {
  auto waveBars = vellamor2::makePlot(1, CGRectMake(0, 0, 50, 60));
  auto bars = vellamor2::makePlot(2, CGRectMake(0, 0, 50, 60));
  EXPECT_NE(objc::cast<WavePlotWaveBars>(waveBars.get()), nullptr);
  EXPECT_NE(objc::cast<WavePlotBars>(bars.get()), nullptr);
  EXPECT_EQ(bars->frame(), CGRectMake(0, 0, 50, 60));
}

TEST_F(WaveBarsTest, BarsAreTheMeanOfHalfOverlappingWindows) {
  // P = 1, F = 4096, B = 8: L = 8192 / 9 = 910, windows starting at b × 455. The means are taken
  // here by brute force over the levels of the samples.
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, noise(0.8f, 9));
  const double sensitivity = 40;
  const double gain = 1.5;
  apply({{"waveBarsNumber", 8},
         {"waveBarsBuffersPerPlot", 1},
         {"waveBarsSensitivity", sensitivity},
         {"waveBarsGain", gain}});
  draw(*record);
  ASSERT_EQ(WavePlotWaveBars::windowLength(1, 4096, 8), 910u);
  for (unsigned b = 0; b < 8; ++b) {
    double sum = 0;
    for (unsigned i = b * 455; i < b * 455 + 910; ++i) {
      const double db = 20 * std::log10(std::fabs(newestSample(*record, 0, 1, i)));
      sum += std::clamp(db / sensitivity + 1, 0.0, 1.0);
    }
    const double target = std::min(1.0, gain * sum / 910);
    EXPECT_NEAR(corners(0, b)[0].y, target / 2 + 0.001, 1e-5) << b;
    EXPECT_NEAR(corners(0, b)[3].y, -target / 2 - 0.001, 1e-5) << b;
  }
}

TEST_F(WaveBarsTest, SilenceHalvesTowardAThousandth) {
  auto record = makeRecord(2, 1024);
  apply({});
  double h = 0;
  for (int frame = 0; frame < 25; ++frame) {
    draw(*record);
    h = (h + (frame == 0 ? 0 : 0.001)) / 2;
    for (unsigned c = 0; c < 2; ++c) ASSERT_NEAR(corners(c, 10)[0].y, h + 0.001, 1e-9) << frame;
  }
  EXPECT_NEAR(h, 0.001, 1e-7);
}

struct RowCase {
  const char* name;
  int channels;
  bool overlay;
  double centre[2];
};

class FullScaleTest : public WaveBarsTest, public ::testing::WithParamInterface<RowCase> {};

TEST_P(FullScaleTest, FullScaleSamplesGiveTargetOneOnEachRow) {
  const RowCase c = GetParam();
  auto record = makeRecord(c.channels, 2048);
  for (int channel = 0; channel < c.channels; ++channel)
    fillChannel(*record, channel, [](int i) { return i % 2 ? 1.0f : -1.0f; });
  apply({{"waveBarsGain", 1}, {"waveBarsOverlay", c.overlay}, {"waveBarsNumber", 16}});
  draw(*record);
  draw(*record);
  // Heights 0.5, then (0.501 + 1) / 2.
  const double h = (0.501 + 1) / 2;
  for (int channel = 0; channel < c.channels; ++channel) {
    for (unsigned b = 0; b < 16; ++b) {
      const auto points = pathPoints(barLayer(channel, b));
      ASSERT_EQ(points.size(), 4u);
      const double line = c.centre[channel] * kHeight;
      EXPECT_NEAR(points[0].y, line - 0.25 * kHeight * (h + 0.001), 1e-6);
      EXPECT_NEAR(points[2].y, line + 0.25 * kHeight * (h + 0.001), 1e-6);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, FullScaleTest,
                         ::testing::Values(RowCase{"apart", 2, false, {0.75, 0.25}},
                                           RowCase{"overlay", 2, true, {0.5, 0.5}},
                                           RowCase{"mono", 1, false, {0.5, 0.5}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WaveBarsTest, OverlayUsesTheFiveStopGradient) {
  apply({{"colourMethod", 1}, {"waveBarsOverlay", 1}});
  auto record = makeRecord(2, 1024);
  draw(*record);
  EXPECT_EQ(plot->gradientLayer()->locations(),
            (std::vector<CGFloat>{0.25, 0.325, 0.5, 0.575, 0.75}));
}

TEST_F(WaveBarsTest, TwoChannelsTurningIntoOneMoveTheRowToTheMiddle) {
  apply({{"waveBarsNumber", 32}});
  auto stereo = makeRecord(2, 1024);
  draw(*stereo);
  EXPECT_EQ(attachedBars(), 64u);
  auto mono = makeRecord(1, 1024);
  fillChannel(*mono, 0, [](int) { return 1.0f; });
  draw(*mono);
  EXPECT_EQ(attachedBars(), 32u);
  for (unsigned b = 32; b < 64; ++b) EXPECT_EQ(plot->waveformLayers()[b]->superlayer(), nullptr);
  const auto points = pathPoints(barLayer(0, 4));
  ASSERT_EQ(points.size(), 4u);
  EXPECT_NEAR((points[0].y + points[2].y) / 2, kHeight / 2, 1e-9);

  // In amplitude mode the gradient switches from nine stops to five.
  apply({{"colourMethod", 1}});
  draw(*stereo);
  EXPECT_EQ(plot->gradientLayer()->locations().size(), 9u);
  draw(*mono);
  EXPECT_EQ(plot->gradientLayer()->locations(),
            (std::vector<CGFloat>{0.25, 0.325, 0.5, 0.575, 0.75}));
}

TEST_F(WaveBarsTest, TheBarCountBounds) {
  // 128 bars with two channels use every layer and every point.
  apply({{"waveBarsNumber", 128}});
  auto record = makeRecord(2, 1024);
  fillChannel(*record, 0, noise(0.5f));
  fillChannel(*record, 1, noise(0.5f, 3));
  draw(*record);
  EXPECT_EQ(attachedBars(), 256u);
  for (unsigned k = 0; k < 256; ++k) {
    ASSERT_EQ(pathPoints(plot->waveformLayers()[k]).size(), 4u) << k;
    ASSERT_GT(plot->displayPoints()[4 * k].y, 0.0) << k;
  }
  // 2 bars: a gap of twice the width, touching both edges.
  apply({{"waveBarsNumber", 2}});
  draw(*record);
  const auto left = pathPoints(barLayer(0, 0));
  const auto right = pathPoints(barLayer(0, 1));
  EXPECT_NEAR(left[0].x, 0, 1e-9);
  EXPECT_NEAR(left[1].x, kWidth / 4, 1e-9);
  EXPECT_NEAR(right[0].x, 3 * kWidth / 4, 1e-9);
  EXPECT_NEAR(right[1].x, kWidth, 1e-9);
}

TEST_F(WaveBarsTest, ColourByAmplitudeShowsTheMaskedGradientOnly) {
  apply({{"waveBarsNumber", 16}, {"colourMethod", 0}, {"waveBarsFill", 1}});
  EXPECT_EQ(attachedBars(), 32u);
  EXPECT_TRUE(plot_testing::sameColor(barLayer(0, 0)->fillColor(), 1, 1, 1, 0.9));
  apply({{"waveBarsNumber", 16}, {"colourMethod", 1}, {"waveBarsFill", 0}});
  ASSERT_EQ(plot->layer()->sublayers().size(), 1u);
  EXPECT_EQ(plot->layer()->sublayers()[0].get(), plot->gradientLayer());
  EXPECT_EQ(plot->gradientLayer()->mask(), plot->maskLayer());
  // The fill setting leaves the bars' colours alone in this mode.
  EXPECT_TRUE(plot_testing::sameColor(barLayer(0, 0)->fillColor(), 1, 1, 1, 0.9));
  auto record = makeRecord(2, 1024);
  draw(*record);
  ASSERT_NE(plot->maskLayer()->path(), nullptr);
  EXPECT_EQ(plot->maskLayer()->path()->subpathCount(), 32u);
  EXPECT_TRUE(plot->maskLayer()->path()->subpath(31).closed);
}

TEST_F(WaveBarsTest, ARecordWithoutChannelsShowsNothing) {
  apply({{"waveBarsNumber", 16}});
  auto record = makeRecord(2, 1024);
  draw(*record);
  const CGPathRef before = barLayer(1, 5)->path();
  auto none = makeRecord(0, 0);
  draw(*none);
  EXPECT_EQ(attachedBars(), 0u);
  EXPECT_EQ(barLayer(1, 5)->path(), before);
  apply({{"waveBarsNumber", 16}, {"colourMethod", 1}});
  draw(*record);
  EXPECT_FALSE(CGPathIsEmpty(plot->maskLayer()->path()));
  draw(*none);
  EXPECT_TRUE(CGPathIsEmpty(plot->maskLayer()->path()));
  EXPECT_NE(plot->maskLayer()->path(), nullptr);
}

TEST_F(WaveBarsTest, SettingsAndRecordsBeyondTheLimits) {
  apply({{"waveBarsNumber", 1}, {"waveBarsBuffersPerPlot", 0}, {"waveBarsSensitivity", 0}});
  EXPECT_EQ(plot->barsPerPlot(), 2u);
  EXPECT_EQ(plot->buffersPerPlot(), 1u);
  EXPECT_EQ(plot->sensitivity(), 15.0f);
  apply({{"waveBarsNumber", 500}, {"waveBarsBuffersPerPlot", 21}, {"waveBarsSensitivity", -1}});
  EXPECT_EQ(plot->barsPerPlot(), 128u);
  EXPECT_EQ(plot->buffersPerPlot(), 20u);
  EXPECT_EQ(plot->sensitivity(), 15.0f);

  auto good = makeRecord(2, 1024);
  draw(*good);
  const CGPathRef before = barLayer(0, 7)->path();
  // A window below one sample (2 × 20 × 3 < 129), no frames, or a channel count the plot cannot
  // draw: nothing is drawn.
  for (auto [channels, frames] : {std::pair{2, 3}, std::pair{2, 0}, std::pair{5, 1024}}) {
    auto bad = makeRecord(channels, frames);
    draw(*bad);
    EXPECT_EQ(barLayer(0, 7)->path(), before) << channels << " " << frames;
  }
  // Frames above 4096 read as 4096; samples that are not numbers give full bars.
  auto wild = makeRecord(2, 9000);
  for (int c = 0; c < 2; ++c) fillChannel(*wild, c, [](int i) { return i % 5 ? NAN : -INFINITY; });
  draw(*wild);
  EXPECT_EQ(plot->numberFrames(), 4096u);
  for (const auto& bar : plot->waveformLayers())
    for (const CGPoint& p : pathPoints(bar)) ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
}

}  // namespace
