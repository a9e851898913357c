// The spectrum bars, checked against levels worked out here from the signal: the band layout,
// the windowed transform of tones and noise, smoothing, placement, colours and gradients, and
// what the plot does with records and settings beyond its limits.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "PlotTestSupport.h"
#include "Vellamor2/WavePlotBars.h"
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

// The 0-to-1 level of a packed magnitude of a block of n samples.
double levelOf(double magnitude, double n, double sensitivity) {
  const double db = 20 * std::log10(magnitude * 10 / n);
  return std::clamp(db / sensitivity + 1, 0.0, 1.0);
}

double hamming(double k, double n) {
  return 0.54 - 0.46 * std::cos(2 * std::numbers::pi * k / n);
}

class BarsTest : public ::testing::Test {
 protected:
  void TearDown() override { plot->clear(); }
  void apply(std::initializer_list<plot_testing::SettingValue> overrides) {
    msgSend<void>(plot.get(), "updateSettings:", static_cast<id>(settings(overrides).get()));
  }
  void draw(serverDataStruct& record) { msgSend<void>(plot.get(), "updateDataAndDraw:", &record); }
  const CGPoint* corners(unsigned channel, unsigned bar) const {
    return plot->displayPoints() + (channel * plot->barsInUse() + bar) * 4;
  }
  CAShapeLayer* barLayer(unsigned channel, unsigned bar) const {
    return plot->waveformLayers()[channel * plot->barsInUse() + bar];
  }

  StrongRef<WavePlotBars> plot =
      plot_testing::makePlot<WavePlotBars>(CGRectMake(0, 0, kWidth, kHeight));
};

TEST_F(BarsTest, SetupShowsTheMaskedGradientOverTwoChannels) {
  EXPECT_EQ(plot->waveformLayers().size(), 256u);
  EXPECT_EQ(plot->barsPerPlot(), 128u);
  EXPECT_EQ(plot->buffersPerPlot(), 20u);
  EXPECT_EQ(plot->colorByAmplitude(), 1.0f);
  ASSERT_EQ(plot->layer()->sublayers().size(), 1u);
  EXPECT_EQ(plot->layer()->sublayers()[0].get(), plot->gradientLayer());
  EXPECT_EQ(plot->gradientLayer()->mask(), plot->maskLayer());
  EXPECT_NE(plot->fftSetup(), nullptr);
}

// ---- Band layout ----

struct LayoutCase {
  unsigned n, bars, half, lo, hi, per;
};

class BandLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BandLayoutTest, SpansTheMiddleEightyPercent) {
  const LayoutCase c = GetParam();
  const auto layout = WavePlotBars::bandLayout(c.n, c.bars);
  EXPECT_EQ(layout.half, c.half);
  EXPECT_EQ(layout.lo, c.lo);
  EXPECT_EQ(layout.hi, c.hi);
  EXPECT_EQ(layout.per, c.per);
}

INSTANTIATE_TEST_SUITE_P(Blocks, BandLayoutTest,
                         ::testing::Values(
                             // k = 20, F = 4096.
                             LayoutCase{81920, 128, 40960, 4096, 36864, 256},
                             // k = 4: 819.2 and 7372.8 rounded.
                             LayoutCase{16384, 16, 8192, 819, 7373, 409},
                             // 204.8 and 1843.2 rounded; 1638 / 128 = 12.
                             LayoutCase{4096, 128, 2048, 205, 1843, 12}));

TEST(BarsBands, MirroredLowestBandIsInTheCentreAndTheLeftEdgeOneStepAboveTheRight) {
  const auto layout = WavePlotBars::bandLayout(81920, 128);
  // Bar 64: 4096 … 4352 warped, 40960 × 0.1³ = 40.96 and 40960 × 0.10625³ ≈ 49.1.
  const auto centre = WavePlotBars::band(layout, 128, 64, true);
  EXPECT_EQ(centre.start, 41u);
  EXPECT_EQ(centre.end, 49u);
  // Bar 127 is 63 steps out, bar 0 is 64: 4096 + 64 × 256 = 20,480 warps to 5120.
  const auto right = WavePlotBars::band(layout, 128, 127, true);
  const auto left = WavePlotBars::band(layout, 128, 0, true);
  EXPECT_EQ(right.end, 5120u);
  EXPECT_EQ(left.start, 5120u);
  for (unsigned j = 0; j < 128; ++j)
    EXPECT_GE(WavePlotBars::band(layout, 128, j, true).start, centre.start) << j;
}

TEST(BarsBands, AnOddMirroredCountHalvesAsAFloat) {
  // B = 3: |j − 1.5| is 1.5, 0.5, 0.5, so bars 1 and 2 both hold the lowest band (halving B in
  // integers would put bar 2 one step up).
  const auto layout = WavePlotBars::bandLayout(4096, 3);
  const auto lowest = WavePlotBars::band(layout, 3, 1, true);
  EXPECT_EQ(lowest.start, 2u);  // 205³ / 2048² ≈ 2.05
  const auto other = WavePlotBars::band(layout, 3, 2, true);
  EXPECT_EQ(other.start, lowest.start);
  EXPECT_EQ(other.end, lowest.end);
  EXPECT_GT(WavePlotBars::band(layout, 3, 0, true).start, lowest.start);
}

TEST(BarsBands, CoincidingWarpedEndsTakeOneEntry) {
  // n = 4096 without mirroring: bars 0 and 1 both warp 205 … 211 and 211 … 217 to entry 2.
  const auto layout = WavePlotBars::bandLayout(4096, 128);
  for (unsigned j : {0u, 1u}) {
    const auto b = WavePlotBars::band(layout, 128, j, false);
    EXPECT_EQ(b.start, 2u);
    EXPECT_EQ(b.end, 3u);
  }
}

// ---- Levels from the signal ----

struct ToneCase {
  bool mirrorX;
  unsigned bar;  // the one bar that holds bins 10 … 12
};

class ToneTest : public BarsTest, public ::testing::WithParamInterface<ToneCase> {};

TEST_P(ToneTest, AnIntegerBinToneShowsOnlyInItsBand) {
  // k = 4, F = 4096: n = 16,384 is a power of two, so the whole block is transformed. A tone of
  // amplitude A on bin 11 under the Hamming window has packed magnitudes 0.54 A n on its bin and
  // 0.23 A n on each neighbour, and nothing elsewhere.
  const double n = 16384;
  const double A = 0.01;
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, [&](int i) {
    return static_cast<float>(A * std::cos(2 * std::numbers::pi * 11 * (i % 16384) / n));
  });
  apply({{"barsNumber", 16},
         {"barsBuffersPerPlot", 4},
         {"barsSensitivity", 50},
         {"barsGain", 0.5},
         {"barsMirrorX", GetParam().mirrorX ? 1 : 0}});
  draw(*record);
  const double peak = levelOf(0.54 * A * n, n, 50);
  const double side = levelOf(0.23 * A * n, n, 50);
  EXPECT_NEAR(plot->workData()[11], peak, 1e-4);
  EXPECT_NEAR(plot->workData()[10], side, 1e-4);
  EXPECT_NEAR(plot->workData()[12], side, 1e-4);
  for (unsigned j = 0; j < 16; ++j) {
    // First frame: half of the gained sum, lifted by 0.001.
    const double expected = j == GetParam().bar ? 0.5 * (0.5 * (peak + 2 * side)) + 0.001 : 0.001;
    EXPECT_NEAR(corners(0, j)[0].y, expected, 1e-4) << "bar " << j;
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ToneTest,
                         ::testing::Values(ToneCase{true, 8}, ToneCase{false, 0}));

// A setting that moves the bands between two frames of one plot: the second frame must take the
// new bands, as a plot made with the new settings does.
struct BandChangeCase {
  const char* key;
  double before, after;
};

class BandChangeTest : public BarsTest, public ::testing::WithParamInterface<BandChangeCase> {};

TEST_P(BandChangeTest, TheNextFrameTakesTheNewBands) {
  const BandChangeCase c = GetParam();
  auto silence = makeRecord(1, 4096);
  auto tone = makeRecord(1, 4096);
  fillChannel(*tone, 0, [](int i) { return 0.5f * std::cos(0.2f * static_cast<float>(i)); });
  const auto configure = [&](WavePlotBars* target, double value) {
    msgSend<void>(target, "updateSettings:",
                  static_cast<id>(settings({{"barsNumber", 16},
                                            {"barsBuffersPerPlot", 4},
                                            {"barsSensitivity", 50},
                                            {"barsMirrorX", 1},
                                            {c.key, value}})
                                      .get()));
  };
  // Silence leaves every bar at the same height whatever the bands, so both plots then differ
  // only in the bands they take for the tone.
  configure(plot.get(), c.before);
  draw(*silence);
  configure(plot.get(), c.after);
  draw(*tone);
  auto fresh = plot_testing::makePlot<WavePlotBars>(CGRectMake(0, 0, kWidth, kHeight));
  configure(fresh.get(), c.after);
  msgSend<void>(fresh.get(), "updateDataAndDraw:", silence.get());
  msgSend<void>(fresh.get(), "updateDataAndDraw:", tone.get());
  for (unsigned j = 0; j < plot->barsInUse(); ++j)
    EXPECT_FLOAT_EQ(corners(0, j)[0].y, fresh->displayPoints()[j * 4].y) << "bar " << j;
  fresh->clear();
}

INSTANTIATE_TEST_SUITE_P(Settings, BandChangeTest,
                         ::testing::Values(BandChangeCase{"barsMirrorX", 0, 1},
                                           BandChangeCase{"barsNumber", 16, 8},
                                           BandChangeCase{"barsBuffersPerPlot", 2, 4}));

TEST_F(BarsTest, TwentyPacketsTransformTheFirst65536SamplesAndKeepTheRestPacked) {
  const double n = 81920;
  const double sensitivity = 200;
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, noise(0.5f, 5));
  apply({{"barsBuffersPerPlot", 20}, {"barsSensitivity", sensitivity}});
  draw(*record);
  auto windowed = [&](int m) { return hamming(m, n) * newestSample(*record, 0, 20, m); };
  // A few bins by the plain DFT of the first 65,536 windowed samples, doubled.
  for (int bin : {1, 1000, 20000, 32767}) {
    std::complex<double> sum = 0;
    for (int m = 0; m < 65536; ++m)
      sum += windowed(m) * std::polar(1.0, -2 * std::numbers::pi * bin * m / 65536.0);
    EXPECT_NEAR(plot->workData()[bin], levelOf(2 * std::abs(sum), n, sensitivity), 1e-3) << bin;
  }
  // Pairs 32,768 … 40,959 were never transformed: the magnitude of two windowed samples.
  for (int pair = 32768; pair < 40960; pair += 97) {
    const double magnitude = std::hypot(windowed(2 * pair), windowed(2 * pair + 1));
    EXPECT_NEAR(plot->workData()[pair], levelOf(magnitude, n, sensitivity), 1e-4) << pair;
  }
}

// ---- Smoothing and placement ----

TEST_F(BarsTest, SilenceSettlesTheTopsAt0002) {
  auto record = makeRecord(2, 1024);
  apply({});
  double top = 0;
  for (int frame = 0; frame < 30; ++frame) {
    draw(*record);
    // Each frame halves the distance to 0.002.
    const double expected = top / 2 + 0.001;
    for (unsigned c = 0; c < 2; ++c)
      for (unsigned j = 0; j < plot->barsInUse(); ++j)
        ASSERT_NEAR(corners(c, j)[0].y, expected, 1e-7) << frame << " " << c << " " << j;
    top = expected;
  }
  EXPECT_NEAR(top, 0.002, 1e-8);
  // Mirrored about the centre line by default.
  EXPECT_NEAR(corners(0, 5)[2].y, -0.002, 1e-8);
}

struct PlacementCase {
  const char* name;
  bool zeroY, mirrorY, overlay;
  int channels;
  double centre[2];
  double height;  // of a level-1 bar, as a fraction of the layer
};

class PlacementTest : public BarsTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, ASumAboveOneOverTheGainIsAFullBar) {
  const PlacementCase c = GetParam();
  auto record = makeRecord(c.channels, 2048);
  for (int channel = 0; channel < c.channels; ++channel)
    fillChannel(*record, channel, noise(0.9f, channel + 1));
  // Every level is near 1 on a 1000 dB range, so each band sums above 1 / 5: v is held at 1, and
  // the first frame stands at half.
  apply({{"barsNumber", 32},
         {"barsGain", 5},
         {"barsSensitivity", 1000},
         {"barsBuffersPerPlot", 2},
         {"barsZeroY", c.zeroY},
         {"barsMirrorY", c.mirrorY},
         {"barsOverlay", c.overlay},
         {"colourMethod", 0}});
  draw(*record);
  const double top = 0.501;
  const double bottom = c.mirrorY && !c.zeroY ? -0.501 : -0.001;
  const double w = 1.0 / 34;
  const double g = 2 * w / 31;
  for (int channel = 0; channel < c.channels; ++channel) {
    for (unsigned j = 0; j < 32; ++j) {
      const auto points = pathPoints(barLayer(channel, j));
      ASSERT_EQ(points.size(), 4u);
      EXPECT_TRUE(plot_testing::pathClosed(barLayer(channel, j)));
      const double line = c.centre[channel] * kHeight;
      const double scale = c.height * kHeight;
      EXPECT_NEAR(points[0].x, j * (w + g) * kWidth, 1e-3);
      EXPECT_NEAR(points[1].x, (j * (w + g) + w) * kWidth, 1e-3);
      EXPECT_NEAR(points[0].y, line - scale * top, 1e-4) << channel << " " << j;
      EXPECT_NEAR(points[2].y, line - scale * bottom, 1e-4) << channel << " " << j;
    }
  }
  // The bars span the width exactly.
  EXPECT_NEAR(pathPoints(barLayer(0, 31))[1].x, kWidth, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Settings, PlacementTest,
                         ::testing::Values(
                             // Both channels stand on the bottom edge, one over the other.
                             PlacementCase{"standing", true, true, false, 2, {1.0, 1.0}, 0.75},
                             PlacementCase{"mirrored", false, true, false, 2, {0.75, 0.25}, 0.25},
                             PlacementCase{
                                 "unmirrored", false, false, false, 2, {0.75, 0.25}, 0.25},
                             PlacementCase{"overlay", false, true, true, 2, {0.5, 0.5}, 0.25},
                             PlacementCase{"mono", false, true, false, 1, {0.5, 0.5}, 0.25}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Colours ----

TEST_F(BarsTest, PrimaryColourModeShowsTheBarLayersInOrder) {
  apply({{"colourMethod", 0}, {"barsNumber", 20}, {"barsFill", 1}, {"primaryColourGreen", 0}});
  ASSERT_EQ(plot->layer()->sublayers().size(), 40u);
  for (unsigned i = 0; i < 40; ++i) {
    EXPECT_EQ(plot->layer()->sublayers()[i].get(), plot->waveformLayers()[i].get());
    EXPECT_TRUE(sameColor(plot->waveformLayers()[i]->fillColor(), 1, 0, 1, 0.9));
    EXPECT_EQ(plot->waveformLayers()[i]->strokeColor(), nullptr);
  }
  apply({{"colourMethod", 0}, {"barsFill", 0}});
  EXPECT_EQ(plot->waveformLayers()[3]->fillColor(), nullptr);
  EXPECT_TRUE(
      sameColor(plot->waveformLayers()[3]->strokeColor(), 1, 1, 1, static_cast<float>(0.9)));
}

struct GradientCase {
  const char* name;
  int channels;
  bool zeroY, overlay;
  std::vector<double> locations;
  std::vector<char> colours;  // r, y, g
};

class GradientTest : public BarsTest, public ::testing::WithParamInterface<GradientCase> {};

TEST_P(GradientTest, StopsFollowTheCentreLines) {
  const GradientCase c = GetParam();
  apply({{"colourMethod", 1}, {"barsZeroY", c.zeroY}, {"barsOverlay", c.overlay}});
  auto record = makeRecord(c.channels, 512);
  draw(*record);
  CAGradientLayer* gradient = plot->gradientLayer();
  ASSERT_EQ(plot->layer()->sublayers().size(), 1u);
  EXPECT_EQ(plot->layer()->sublayers()[0].get(), gradient);
  ASSERT_EQ(gradient->locations().size(), c.locations.size());
  ASSERT_EQ(gradient->colors().size(), c.colours.size());
  for (std::size_t i = 0; i < c.locations.size(); ++i) {
    EXPECT_DOUBLE_EQ(gradient->locations()[i], c.locations[i]);
    const CGColor& colour = gradient->colors()[i];
    const double green = c.colours[i] == 'r' ? 0 : 1;
    const double red = c.colours[i] == 'g' ? 0 : 1;
    EXPECT_TRUE(sameColor(&colour, red, green, 0, 1)) << i;
  }
  // The mask is the union of every bar.
  ASSERT_NE(plot->maskLayer()->path(), nullptr);
  EXPECT_EQ(plot->maskLayer()->path()->subpathCount(), c.channels * plot->barsInUse());
}

INSTANTIATE_TEST_SUITE_P(
    Tables, GradientTest,
    ::testing::Values(
        GradientCase{"two_channels",
                     2,
                     false,
                     false,
                     {0, 0.075, 0.25, 0.42, 0.5, 0.58, 0.75, 0.925, 1.0},
                     {'r', 'y', 'g', 'y', 'r', 'y', 'g', 'y', 'r'}},
        // Green at the middle, red a quarter of the height above and below.
        GradientCase{"one_channel",
                     1,
                     false,
                     false,
                     {0.25, 0.325, 0.5, 0.575, 0.75},
                     {'r', 'y', 'g', 'y', 'r'}},
        GradientCase{
            "overlay", 2, false, true, {0.25, 0.325, 0.5, 0.575, 0.75}, {'r', 'y', 'g', 'y', 'r'}},
        // Standing bars win over overlay.
        GradientCase{"standing", 2, true, true, {0.25, 0.475, 1.0}, {'r', 'y', 'g'}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BarsTest, OneChannelGradientIsGreenInTheMiddleAndRedAQuarterAway) {
  apply({{"colourMethod", 1}, {"barsZeroY", 0}});
  auto record = makeRecord(1, 512);
  draw(*record);
  const CGColor middle = plot->gradientLayer()->colorAt(0.5);
  EXPECT_TRUE(sameColor(&middle, 0, 1, 0, 1));
  for (double t : {0.25, 0.75}) {
    const CGColor edge = plot->gradientLayer()->colorAt(t);
    EXPECT_TRUE(sameColor(&edge, 1, 0, 0, 1)) << t;
  }
}

// ---- Limits ----

TEST_F(BarsTest, SettingsBeyondTheLimitsAreHeld) {
  apply({{"barsNumber", 1}, {"barsBuffersPerPlot", 0}, {"barsSensitivity", 0}});
  EXPECT_EQ(plot->barsInUse(), 2u);
  EXPECT_EQ(plot->buffersPerPlot(), 1u);
  EXPECT_EQ(plot->sensitivity(), 25.0f);
  apply({{"barsNumber", 300}, {"barsBuffersPerPlot", 50}, {"barsSensitivity", -4}});
  EXPECT_EQ(plot->buffersPerPlot(), 20u);
  EXPECT_EQ(plot->sensitivity(), 25.0f);
  // 256 layers: 128 bars with two channels, 256 with one.
  EXPECT_EQ(plot->barsInUse(), 128u);
  auto mono = makeRecord(1, 256);
  draw(*mono);
  EXPECT_EQ(plot->barsInUse(), 256u);
}

TEST_F(BarsTest, RecordsBeyondTheLimitsNeverGiveABadCoordinate) {
  apply({{"colourMethod", 0}, {"barsBuffersPerPlot", 20}});
  auto good = makeRecord(2, 4096);
  fillChannel(*good, 0, noise(0.5f));
  draw(*good);
  const CGPathRef before = barLayer(0, 3)->path();
  ASSERT_NE(before, nullptr);
  // No frames, or too many channels: nothing changes.
  for (auto [channels, frames] : {std::pair{2, 0}, std::pair{3, 4096}, std::pair{-1, 4096}}) {
    auto bad = makeRecord(channels, frames);
    draw(*bad);
    EXPECT_EQ(barLayer(0, 3)->path(), before) << channels << " " << frames;
  }
  // Frames above 4096 read as 4096; samples that are not numbers give full bars.
  auto wild = makeRecord(2, 5000);
  for (int c = 0; c < 2; ++c) fillChannel(*wild, c, [](int i) { return i % 3 ? NAN : INFINITY; });
  draw(*wild);
  EXPECT_EQ(plot->numberFrames(), 4096u);
  for (unsigned i = 0; i < 256; ++i) {
    for (const CGPoint& p : pathPoints(plot->waveformLayers()[i])) {
      ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << i;
    }
  }
  // No channels: nothing shows.
  auto empty = makeRecord(0, 0);
  draw(*empty);
  EXPECT_TRUE(plot->layer()->sublayers().empty());
}

}  // namespace
