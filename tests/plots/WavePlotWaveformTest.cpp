// The waveform plot, checked against values worked out here from the samples: the raw curve,
// the low-pass and phase stripping, smudge, the centre lines, the fill and the loudness colours,
// and what it does with records and settings beyond its limits.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "PlotTestSupport.h"
#include "Vellamor2/WavePlotWaveform.h"
#include "objc/message.h"

namespace {

using plot_testing::fillChannel;
using plot_testing::makeRecord;
using plot_testing::newestSample;
using plot_testing::noise;
using plot_testing::pathPoints;
using plot_testing::sameColor;
using plot_testing::settings;

constexpr double kWidth = 400;
constexpr double kHeight = 200;

float clampUnit(float v) {
  return std::min(1.0f, std::max(-1.0f, v));
}

class WaveformTest : public ::testing::Test {
 protected:
  void TearDown() override { plot->clear(); }

  void apply(std::initializer_list<plot_testing::SettingValue> overrides) {
    msgSend<void>(plot.get(), "updateSettings:", static_cast<id>(settings(overrides).get()));
  }
  void draw(serverDataStruct& record) { msgSend<void>(plot.get(), "updateDataAndDraw:", &record); }
  // The y that point i of `channel` holds after the last frame.
  double y(unsigned channel, unsigned i) const {
    return plot->displayPoints()[channel * plot->numberFrames() + i].y;
  }
  CAShapeLayer* layerOf(unsigned channel) const { return plot->waveformLayers()[channel]; }

  // Every point of the channel's path lies where the transform puts (i, y(i)).
  void expectPathFollowsPoints(unsigned channel, double centre) const {
    const auto points = pathPoints(layerOf(channel));
    const unsigned frames = plot->numberFrames();
    ASSERT_GE(points.size(), frames);
    for (unsigned i = 0; i < frames; ++i) {
      ASSERT_NEAR(points[i].x, i * kWidth / frames, 1e-9) << "point " << i;
      ASSERT_NEAR(points[i].y, centre * kHeight - 0.25 * kHeight * y(channel, i), 1e-9)
          << "point " << i;
    }
  }

  StrongRef<WavePlotWaveform> plot =
      plot_testing::makePlot<WavePlotWaveform>(CGRectMake(0, 0, kWidth, kHeight));
};

TEST_F(WaveformTest, SettingsColourTheLayersAndTheBackground) {
  apply({{"waveThickness", 3.5},
         {"primaryColourRed", 0.0},
         {"backgroundColourBlue", 1.0},
         {"backgroundColourAlpha", 0.5}});
  for (unsigned c = 0; c < 2; ++c) {
    EXPECT_EQ(layerOf(c)->lineWidth(), 3.5);
    EXPECT_TRUE(sameColor(layerOf(c)->strokeColor(), 0, 1, 1, static_cast<float>(0.9)));
    EXPECT_EQ(layerOf(c)->fillColor(), nullptr);
  }
  EXPECT_TRUE(sameColor(plot->layer()->backgroundColor(), 0, 0, 1, 0.5));
}

// ---- The raw curve ----

struct RawCase {
  int packets;
  float gain;
  int channels;
};

class RawCurveTest : public WaveformTest, public ::testing::WithParamInterface<RawCase> {};

TEST_P(RawCurveTest, ShowsEveryKthSampleWithGainClamped) {
  const RawCase c = GetParam();
  auto record = makeRecord(c.channels, 1024);
  for (int channel = 0; channel < c.channels; ++channel)
    fillChannel(*record, channel, noise(1.3f, 11 + channel));
  apply({{"waveBuffersPerPlot", c.packets}, {"waveGain", c.gain}});
  draw(*record);
  for (int channel = 0; channel < c.channels; ++channel) {
    for (unsigned i = 0; i < 1024; ++i) {
      const float expected =
          clampUnit(c.gain * newestSample(*record, channel, c.packets, i * c.packets));
      ASSERT_FLOAT_EQ(y(channel, i), expected) << "channel " << channel << " point " << i;
    }
    expectPathFollowsPoints(channel, c.channels == 2 ? (channel == 0 ? 0.75 : 0.25) : 0.5);
  }
}

INSTANTIATE_TEST_SUITE_P(Blocks, RawCurveTest,
                         ::testing::Values(RawCase{1, 1.0f, 2}, RawCase{3, 2.5f, 2},
                                           RawCase{20, 0.5f, 1}));

// ---- Low-pass and phase stripping ----

TEST_F(WaveformTest, LowPassAtFullCutPassesEverySampleDoubled) {
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, noise(0.4f));
  apply({{"waveBuffersPerPlot", 1}, {"waveLowPassFilter", 1}, {"waveLPFAmount", 1.0}});
  draw(*record);
  for (unsigned i = 0; i < 4096; ++i)
    ASSERT_NEAR(y(0, i), 2.0 * newestSample(*record, 0, 1, i), 1e-5) << "point " << i;
}

TEST_F(WaveformTest, LowPassAtZeroCutLeavesAFlatLineEvenWithAnOffset) {
  auto record = makeRecord(2, 4096);
  for (int c = 0; c < 2; ++c)
    fillChannel(*record, c, [](int i) { return 0.3f + 0.0001f * (i % 97); });
  apply({{"waveBuffersPerPlot", 2}, {"waveLowPassFilter", 1}, {"waveLPFAmount", 0.0}});
  draw(*record);
  for (unsigned c = 0; c < 2; ++c) {
    for (unsigned i = 0; i < 4096; ++i) ASSERT_NEAR(y(c, i), 0.0, 1e-6);
    expectPathFollowsPoints(c, c == 0 ? 0.75 : 0.25);
  }
}

TEST_F(WaveformTest, LowPassRemovesWhatLiesAboveTheCut) {
  // A slow and a fast sine in one 4096-sample block: bins 8 and 1500; a cut at 0.5 keeps pairs
  // below 1024 and so only the slow one, doubled.
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, [](int i) {
    const double t = 2 * std::numbers::pi * (i % 4096) / 4096.0;
    return static_cast<float>(0.2 * std::sin(8 * t) + 0.2 * std::sin(1500 * t));
  });
  apply({{"waveBuffersPerPlot", 1}, {"waveLowPassFilter", 1}, {"waveLPFAmount", 0.5}});
  draw(*record);
  for (unsigned i = 0; i < 4096; ++i)
    ASSERT_NEAR(y(0, i), 0.4 * std::sin(8 * 2 * std::numbers::pi * i / 4096.0), 1e-4) << i;
}

TEST_F(WaveformTest, PhaseStrippingOfAnImpulseGivesItsFlatSpectrumBack) {
  // k = 3, F = 4096: n = 12,288 in a block of L = 16,384. An impulse's magnitudes are all 2 (and
  // 2√2 for DC with Nyquist), so sample m ≠ 0 comes back as (2√2 − 2(1 + (−1)^m)) / L, wherever
  // the impulse was. Point i reads m = 2048 + 3i, whose parity is that of i.
  auto record = makeRecord(1, 4096);
  record->data[0][17 * 4096 + 5000] = 1.0f;
  const double gain = 4096;
  apply({{"waveBuffersPerPlot", 3}, {"waveStripPhase", 1}, {"waveGain", gain}});
  draw(*record);
  const double odd = gain * 2 * std::numbers::sqrt2 / 16384;
  const double even = gain * (2 * std::numbers::sqrt2 - 4) / 16384;
  for (unsigned i = 1; i < 4095; ++i) ASSERT_NEAR(y(0, i), i % 2 ? odd : even, 0.01) << i;
  // The ends follow their neighbours.
  EXPECT_EQ(y(0, 0), y(0, 1));
  EXPECT_EQ(y(0, 4095), y(0, 4094));
}

TEST_F(WaveformTest, PhaseStrippingReadsTheBlockFromOffset2048) {
  // A zero-phase block is mirror-symmetric (x[m] = x[L − m]). Read from 2048 in steps of 3, point
  // i and point 4096 − i are such a pair: 2048 + 3i and 16384 − (2048 + 3i) = 2048 + 3(4096 − i).
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, noise(0.5f, 3));
  apply({{"waveBuffersPerPlot", 3}, {"waveStripPhase", 1}, {"waveGain", 0.2}});
  draw(*record);
  double largest = 0;
  for (unsigned i = 0; i < 4096; ++i) largest = std::max(largest, std::fabs(y(0, i)));
  ASSERT_GT(largest, 0.01);
  for (unsigned i = 2; i <= 2048; ++i) ASSERT_NEAR(y(0, i), y(0, 4096 - i), 1e-4 * largest) << i;
}

// ---- Smudge ----

struct SmudgeCase {
  float smudge;
  bool smooths;
};

class SmudgeTest : public WaveformTest, public ::testing::WithParamInterface<SmudgeCase> {};

TEST_P(SmudgeTest, BlendsWithThePreviousFrameAboveTheThreshold) {
  const SmudgeCase c = GetParam();
  auto loud = makeRecord(1, 512);
  auto quiet = makeRecord(1, 512);
  fillChannel(*loud, 0, [](int) { return 0.5f; });
  fillChannel(*quiet, 0, [](int) { return -0.3f; });
  apply({{"waveBuffersPerPlot", 1}});
  plot->setSmudge(c.smudge);
  draw(*loud);
  draw(*quiet);
  const double w = 5.0 * static_cast<double>(c.smudge);
  const double first = 0.5 / (w + 1);
  const double expected = c.smooths ? (first * w - 0.3) / (w + 1) : -0.3;
  for (unsigned i = 0; i < 512; ++i) ASSERT_NEAR(y(0, i), expected, 1e-6) << i;
}

INSTANTIATE_TEST_SUITE_P(Thresholds, SmudgeTest,
                         ::testing::Values(SmudgeCase{0.0f, false}, SmudgeCase{0.04f, false},
                                           // The float nearest 0.05 lies above the double 0.05.
                                           SmudgeCase{0.05f, true}, SmudgeCase{0.2f, true}));

// ---- Centre lines ----

struct CentreCase {
  int channels;
  bool overlay;
  double centres[2];
};

class CentreLineTest : public WaveformTest, public ::testing::WithParamInterface<CentreCase> {};

TEST_P(CentreLineTest, SilencePlacesEachCurveOnItsLine) {
  const CentreCase c = GetParam();
  auto record = makeRecord(c.channels, 1024);
  apply({{"waveOverlay", c.overlay ? 1 : 0}});
  draw(*record);
  ASSERT_EQ(plot->layer()->sublayers().size(), static_cast<std::size_t>(c.channels));
  for (int channel = 0; channel < c.channels; ++channel) {
    const auto points = pathPoints(layerOf(channel));
    ASSERT_EQ(points.size(), 1024u);
    for (const CGPoint& p : points) ASSERT_DOUBLE_EQ(p.y, c.centres[channel] * kHeight);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, CentreLineTest,
                         ::testing::Values(CentreCase{1, false, {0.5, 0}},
                                           CentreCase{2, true, {0.5, 0.5}},
                                           CentreCase{2, false, {0.75, 0.25}}));

// ---- Fill ----

TEST_F(WaveformTest, FillClosesAlongTheBottomEdgeAndPutsTheBorrowedPointsBack) {
  auto record = makeRecord(2, 1024);
  fillChannel(*record, 0, noise(0.6f, 1));
  fillChannel(*record, 1, noise(0.6f, 2));
  apply({{"waveFill", 1}, {"waveBuffersPerPlot", 1}, {"primaryColourGreen", 0.5}});
  draw(*record);
  for (unsigned c = 0; c < 2; ++c) {
    const auto points = pathPoints(layerOf(c));
    ASSERT_EQ(points.size(), 1026u);
    EXPECT_TRUE(plot_testing::pathClosed(layerOf(c)));
    EXPECT_NEAR(points[1024].x, kWidth, 1e-9);
    EXPECT_NEAR(points[1024].y, kHeight, 1e-9);
    EXPECT_NEAR(points[1025].x, 0, 1e-9);
    EXPECT_NEAR(points[1025].y, kHeight, 1e-9);
    expectPathFollowsPoints(c, c == 0 ? 0.75 : 0.25);
    EXPECT_EQ(layerOf(c)->strokeColor(), nullptr);
    EXPECT_TRUE(sameColor(layerOf(c)->fillColor(), 1, 0.5, 1, 0.4));
  }
  // Channel 0 borrowed channel 1's first two points; they hold channel 1's own values again.
  for (unsigned i = 0; i < 2; ++i) {
    EXPECT_EQ(y(1, i), newestSample(*record, 1, 1, i));
    EXPECT_EQ(plot->displayPoints()[1024 + i].x, i);
  }
}

// ---- Loudness colours ----

struct LoudnessCase {
  float peak;  // of the last channel; the other channel is always loud
  double red, green;
};

class LoudnessTest : public WaveformTest, public ::testing::WithParamInterface<LoudnessCase> {};

TEST_P(LoudnessTest, TheLastChannelsPeakColoursEveryLayer) {
  const LoudnessCase c = GetParam();
  auto record = makeRecord(2, 4096);
  fillChannel(*record, 0, [](int) { return 0.95f; });
  fillChannel(*record, 1, [](int i) { return i % 4096 == 700 ? 0.0f : -0.2f; });
  record->data[1][19 * 4096 + 700] = c.peak;
  apply({{"colourMethod", 1}, {"waveBuffersPerPlot", 1}});
  draw(*record);
  ASSERT_NE(plot->amplitudeColor(), nullptr);
  EXPECT_TRUE(sameColor(plot->amplitudeColor(), c.red, c.green, 0, 1));
  for (unsigned channel = 0; channel < 2; ++channel)
    EXPECT_TRUE(sameColor(layerOf(channel)->strokeColor(), c.red, c.green, 0, 1));
}

INSTANTIATE_TEST_SUITE_P(Peaks, LoudnessTest,
                         ::testing::Values(LoudnessCase{0.9f, 1, 0}, LoudnessCase{0.7f, 1, 1},
                                           LoudnessCase{0.5f, 0, 1}, LoudnessCase{-0.1f, 0, 1}));

TEST_F(WaveformTest, LoudnessFillsWithTheColourAtFourTenths) {
  auto record = makeRecord(1, 1024);
  fillChannel(*record, 0, [](int) { return 0.7f; });
  apply({{"colourMethod", 1}, {"waveFill", 1}, {"waveBuffersPerPlot", 1}});
  draw(*record);
  EXPECT_TRUE(sameColor(layerOf(0)->fillColor(), 1, 1, 0, 0.4));
  EXPECT_EQ(layerOf(0)->strokeColor(), nullptr);
  // The primary colour no longer reaches the layers.
  plot->changePrimaryColor(UIColor::blueColor());
  EXPECT_TRUE(sameColor(layerOf(0)->fillColor(), 1, 1, 0, 0.4));
}

// ---- Beyond the limits ----

TEST_F(WaveformTest, SettingsAreHeldWithinTheLimits) {
  struct Case {
    double packets, amount, smudge;
    unsigned heldPackets;
    float heldAmount, heldSmudge;
  };
  for (const Case& c : {Case{0, -0.5, -1, 1, 0.0f, -1.0f}, Case{45, 1.5, 2.0, 20, 1.0f, 2.0f},
                        Case{-3, NAN, INFINITY, 1, 0.0f, 1.0e6f}}) {
    apply(
        {{"waveBuffersPerPlot", c.packets}, {"waveLPFAmount", c.amount}, {"waveSmudge", c.smudge}});
    EXPECT_EQ(plot->buffersPerPlot(), c.heldPackets);
    EXPECT_EQ(plot->waveLPFAmount(), c.heldAmount);
    EXPECT_EQ(plot->smudge(), c.heldSmudge);
  }
}

TEST_F(WaveformTest, ABlockIsHeldWithin65536Samples) {
  // 20 packets of 4096 would be 81,920 samples: 16 are drawn, from packet 4 on.
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, noise(0.7f, 5));
  apply({{"waveBuffersPerPlot", 20}});
  draw(*record);
  for (unsigned i = 0; i < 4096; ++i)
    ASSERT_FLOAT_EQ(y(0, i), newestSample(*record, 0, 16, i * 16)) << i;
  // With 1024 frames all 20 fit.
  auto shorter = makeRecord(1, 1024);
  fillChannel(*shorter, 0, noise(0.7f, 6));
  draw(*shorter);
  for (unsigned i = 0; i < 1024; ++i) ASSERT_FLOAT_EQ(y(0, i), shorter->data[0][i * 20]) << i;
}

TEST_F(WaveformTest, MoreThan4096FramesReadAs4096) {
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, noise(0.7f, 8));
  record->numberFrames = 6000;
  apply({{"waveBuffersPerPlot", 2}, {"waveFill", 1}});
  draw(*record);
  EXPECT_EQ(plot->numberFrames(), 4096u);
  EXPECT_EQ(pathPoints(layerOf(0)).size(), 4098u);
  for (unsigned i = 0; i < 4096; ++i)
    ASSERT_FLOAT_EQ(y(0, i), record->data[0][18 * 4096 + 2 * i]) << i;
}

TEST_F(WaveformTest, RecordsThatCannotBeDrawnLeaveTheLayersAlone) {
  apply({});
  auto good = makeRecord(2, 1024);
  fillChannel(*good, 0, noise(0.5f));
  draw(*good);
  const CGPathRef drawn = layerOf(0)->path();
  ASSERT_NE(drawn, nullptr);
  for (auto [channels, frames] : std::initializer_list<std::pair<int, int>>{
           {3, 1024}, {0, 1024}, {-1, 1024}, {2, 0}, {1, -5}}) {
    auto bad = makeRecord(channels, frames);
    fillChannel(*bad, 0, [](int) { return NAN; });
    draw(*bad);
    EXPECT_EQ(layerOf(0)->path(), drawn) << channels << " channels, " << frames << " frames";
    EXPECT_EQ(plot->numberBuffers(), 2u);
    EXPECT_EQ(plot->layer()->sublayers().size(), 2u);
  }
}

TEST_F(WaveformTest, HostileValuesNeverGiveAnInvalidCoordinate) {
  auto record = makeRecord(2, 4096);
  fillChannel(*record, 0, noise(1.0f, 4));
  fillChannel(*record, 1, [](int i) { return i % 2 ? INFINITY : NAN; });
  for (double gain : {double(INFINITY), double(NAN), -1e30}) {
    apply({{"waveGain", gain},
           {"waveSmudge", 3e38},
           {"waveBuffersPerPlot", 7},
           {"waveLowPassFilter", 1},
           {"waveStripPhase", 1},
           {"waveLPFAmount", 0.3},
           {"waveFill", 1}});
    draw(*record);
    draw(*record);
    for (unsigned c = 0; c < 2; ++c)
      for (const CGPoint& p : pathPoints(layerOf(c)))
        ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << "gain " << gain;
  }
}

TEST_F(WaveformTest, AChangeOfChannelCountReattachesTheLayers) {
  apply({});
  auto mono = makeRecord(1, 512);
  draw(*mono);
  ASSERT_EQ(plot->layer()->sublayers().size(), 1u);
  EXPECT_EQ(plot->layer()->sublayers()[0].get(), layerOf(0));
  auto stereo = makeRecord(2, 512);
  draw(*stereo);
  ASSERT_EQ(plot->layer()->sublayers().size(), 2u);
  EXPECT_EQ(plot->layer()->sublayers()[1].get(), layerOf(1));
}

}  // namespace
