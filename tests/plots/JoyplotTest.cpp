// The joyplot, checked against values worked out here from the samples: the windowed lines and
// where they lie, masked and open; amplitude colours per line and by class change; the fills of
// the masked lines in the rendered picture; and records beyond the plot's limits.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "PlotTestSupport.h"
#include "Renderer/Renderer.h"
#include "Vellamor2/WavePlotJoyplot.h"
#include "objc/message.h"

namespace {

using plot_testing::fillChannel;
using plot_testing::makeRecord;
using plot_testing::noise;
using plot_testing::pathClosed;
using plot_testing::pathPoints;
using plot_testing::sameColor;
using plot_testing::settings;

constexpr double kWidth = 300;
constexpr double kHeight = 220;

// The Hamming window as the plot should apply it: 0.54 − 0.46 cos(2πj/F).
double hamming(unsigned j, unsigned frames) {
  return 0.54 - 0.46 * std::cos(2 * std::numbers::pi * j / frames);
}

double clampUnit(double v) {
  return std::min(1.0, std::max(-1.0, v));
}

// Where line i's zero level lies, as a fraction of the height.
double zeroLevel(unsigned line) {
  return line / 22.0 + 0.1 / 1.5;
}

// Every packet of channel 0 held at one value (packet i at levels[i % levels.size()]).
void fillPackets(serverDataStruct& record, std::initializer_list<float> levels) {
  const std::vector<float> values(levels);
  const int frames = record.numberFrames;
  fillChannel(record, 0, [&](int i) { return values[(i / frames) % values.size()]; });
}

class JoyplotTest : public ::testing::Test {
 protected:
  void TearDown() override { plot->clear(); }

  void apply(std::initializer_list<plot_testing::SettingValue> overrides) {
    msgSend<void>(plot.get(), "updateSettings:", static_cast<id>(settings(overrides).get()));
  }
  void draw(const serverDataStruct& record) {
    msgSend<void>(plot.get(), "updateDataAndDraw:", const_cast<serverDataStruct*>(&record));
  }
  CAShapeLayer* line(unsigned i) const { return plot->joyplotLayers()[i]; }

  // The F + 2 layer points of line i as they should be: the windowed samples of packet i with
  // the gain, then the two bottom corners.
  static std::vector<CGPoint> expectedLine(const serverDataStruct& record, unsigned i,
                                           unsigned frames, double gain) {
    std::vector<CGPoint> points;
    const double zero = zeroLevel(i) * kHeight;
    for (unsigned j = 0; j < frames; ++j) {
      const double sample = record.data[0][i * frames + j];
      points.push_back({j * kWidth / frames,
                        zero + 0.1 * kHeight * clampUnit(gain * sample * hamming(j, frames))});
    }
    points.push_back({kWidth, kHeight});
    points.push_back({0, kHeight});
    return points;
  }

  static void expectSamePoints(const std::vector<CGPoint>& actual,
                               const std::vector<CGPoint>& expected, std::size_t offset,
                               const char* what) {
    ASSERT_GE(actual.size(), offset + expected.size()) << what;
    for (std::size_t k = 0; k < expected.size(); ++k) {
      ASSERT_NEAR(actual[offset + k].x, expected[k].x, 1e-9) << what << " point " << k;
      ASSERT_NEAR(actual[offset + k].y, expected[k].y, 1e-4) << what << " point " << k;
    }
  }

  StrongRef<WavePlotJoyplot> plot =
      plot_testing::makePlot<WavePlotJoyplot>(CGRectMake(0, 0, kWidth, kHeight));
};

// ---- The lines ----

struct LinesCase {
  bool masked;
  int recordFrames;  // as the record claims
  unsigned frames;   // as drawn
  double gain;
};

class JoyplotLinesTest : public JoyplotTest, public ::testing::WithParamInterface<LinesCase> {};

TEST_P(JoyplotLinesTest, FollowTheWindowedPacketsOfChannel0) {
  const LinesCase c = GetParam();
  auto record = makeRecord(2, std::min(c.recordFrames, 4096));
  fillChannel(*record, 0, noise(0.9f, 3));
  fillChannel(*record, 1, noise(0.9f, 4));
  record->numberFrames = c.recordFrames;
  apply({{"joyplotMask", c.masked ? 1 : 0}, {"waveGain", c.gain}});
  draw(*record);
  EXPECT_EQ(plot->numberFrames(), c.frames);

  if (c.masked) {
    ASSERT_EQ(plot->layer()->sublayers().size(), 20u);
    for (unsigned i = 0; i < 20; ++i) {
      EXPECT_EQ(plot->layer()->sublayers()[i].get(), line(i));
      EXPECT_TRUE(pathClosed(line(i)));
      const auto points = pathPoints(line(i));
      ASSERT_EQ(points.size(), c.frames + 2);
      expectSamePoints(points, expectedLine(*record, i, c.frames, c.gain), 0, "masked line");
    }
  } else {
    // One open polyline through all twenty lines and their closing points.
    ASSERT_EQ(plot->layer()->sublayers().size(), 1u);
    EXPECT_EQ(plot->layer()->sublayers()[0].get(), line(0));
    ASSERT_EQ(line(0)->path()->subpathCount(), 1u);
    EXPECT_FALSE(pathClosed(line(0)));
    const auto points = pathPoints(line(0));
    ASSERT_EQ(points.size(), 20 * (c.frames + 2));
    for (unsigned i = 0; i < 20; ++i)
      expectSamePoints(points, expectedLine(*record, i, c.frames, c.gain), i * (c.frames + 2),
                       "open line");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, JoyplotLinesTest,
    ::testing::Values(LinesCase{true, 4096, 4096, 1.0}, LinesCase{false, 4096, 4096, 1.0},
                      LinesCase{true, 1024, 1024, 2.5}, LinesCase{false, 512, 512, 0.5},
                      // Beyond the buffers: read as 4096.
                      LinesCase{true, 6000, 4096, 1.0}, LinesCase{false, 70000, 4096, 1.5}));

TEST_F(JoyplotTest, MonoAndStereoRecordsDrawTheSame) {
  for (bool masked : {true, false}) {
    apply({{"joyplotMask", masked ? 1 : 0}});
    auto mono = makeRecord(1, 2048);
    auto stereo = makeRecord(2, 2048);
    fillChannel(*mono, 0, noise(0.8f, 9));
    fillChannel(*stereo, 0, noise(0.8f, 9));
    fillChannel(*stereo, 1, noise(1.0f, 10));
    draw(*mono);
    std::vector<std::vector<CGPoint>> drawn;
    for (unsigned i = 0; i < 20; ++i) drawn.push_back(pathPoints(line(i)));
    draw(*stereo);
    EXPECT_EQ(plot->numberBuffers(), 2u);
    EXPECT_EQ(plot->layer()->sublayers().size(), masked ? 20u : 1u);
    for (unsigned i = 0; i < (masked ? 20u : 1u); ++i)
      EXPECT_EQ(pathPoints(line(i)), drawn[i]) << "line " << i << (masked ? " masked" : " open");
  }
}

// ---- Colours ----

TEST_F(JoyplotTest, MaskedLinesAreColouredEachByItsOwnPacket) {
  auto record = makeRecord(1, 1024);
  // A constant packet's windowed maximum is the constant itself (the window peaks at 1).
  fillPackets(*record, {0.9f, 0.7f, 0.3f, -0.95f});
  apply({{"joyplotMask", 1}, {"colourMethod", 1}, {"backgroundColourRed", 0.5}});
  for (int frame = 0; frame < 2; ++frame) {
    draw(*record);
    for (unsigned i = 0; i < 20; ++i) {
      const double expected[4][2] = {{1, 0}, {1, 1}, {0, 1}, {0, 1}};
      EXPECT_TRUE(sameColor(line(i)->strokeColor(), expected[i % 4][0], expected[i % 4][1], 0, 1))
          << "line " << i;
      EXPECT_TRUE(sameColor(line(i)->fillColor(), 0.5, 0, 0, 1)) << "line " << i;
    }
  }
  // The last line's colour is the one kept.
  EXPECT_TRUE(sameColor(plot->amplitudeColor(), 0, 1, 0, 1));
}

TEST_F(JoyplotTest, OpenLineTurnsRedOnceAndKeepsAColourUntilTheClassChanges) {
  auto loud = makeRecord(2, 1024);
  fillPackets(*loud, {0.1f, 0.92f, 0.2f});
  auto middling = makeRecord(2, 1024);
  fillPackets(*middling, {0.7f, -0.99f});
  apply({{"colourMethod", 1}});
  EXPECT_EQ(plot->amplitudeStatus(), 0);

  draw(*loud);
  EXPECT_EQ(plot->amplitudeStatus(), 3);
  EXPECT_TRUE(sameColor(line(0)->strokeColor(), 1, 0, 0, 1));
  EXPECT_EQ(line(0)->fillColor(), nullptr);

  // A primary colour set while the class holds stays through steady loud frames.
  plot->changePrimaryColor(UIColor::blueColor());
  for (int frame = 0; frame < 3; ++frame) {
    draw(*loud);
    EXPECT_TRUE(sameColor(line(0)->strokeColor(), 0, 0, 1, 1)) << "frame " << frame;
  }
  // A settings update likewise strokes it in the primary colour until the class changes.
  apply({{"colourMethod", 1}, {"primaryColourRed", 0}});
  draw(*loud);
  EXPECT_TRUE(sameColor(line(0)->strokeColor(), 0, 1, 1, static_cast<float>(0.9)));
  EXPECT_EQ(plot->amplitudeStatus(), 3);

  for (int frame = 0; frame < 3; ++frame) {
    draw(*middling);
    EXPECT_EQ(plot->amplitudeStatus(), 2);
    EXPECT_TRUE(sameColor(line(0)->strokeColor(), 1, 1, 0, 1)) << "frame " << frame;
  }
  draw(*loud);
  EXPECT_TRUE(sameColor(line(0)->strokeColor(), 1, 0, 0, 1));
  EXPECT_TRUE(sameColor(plot->amplitudeColor(), 1, 0, 0, 1));
}

TEST_F(JoyplotTest, ABackgroundChangeShowsAtOnceAndReachesTheFillsAtTheNextSetFill) {
  apply({{"joyplotMask", 1}, {"backgroundColourBlue", 1}, {"backgroundColourAlpha", 1}});
  plot->changeBackgroundColor(UIColor::colorWithRed(0, 0.5, 0, 0.4));
  EXPECT_TRUE(sameColor(plot->layer()->backgroundColor(), 0, 0.5, 0, 0.4));
  for (unsigned i = 0; i < 20; ++i) EXPECT_TRUE(sameColor(line(i)->fillColor(), 0, 0, 1, 1));

  // In the picture: a silent history keeps its lines at the top, so the bottom is filled by the
  // lines' old blue while the view behind the first line shows the new green.
  auto silence = makeRecord(1, 1024);
  draw(*silence);
  render::Image image = render::renderView(plot);
  auto bottom = image.pixel(image.width / 2, image.height - 4);
  auto top = image.pixel(image.width / 2, 3);
  EXPECT_EQ(bottom[2], 255);
  EXPECT_EQ(bottom[1], 0);
  EXPECT_NEAR(top[1], 128, 2);
  EXPECT_NEAR(top[3], 102, 2);

  plot->setFill();
  for (unsigned i = 0; i < 20; ++i) EXPECT_TRUE(sameColor(line(i)->fillColor(), 0, 0.5, 0, 1));
}

// ---- Masking, in pixels ----

TEST_F(JoyplotTest, ANewerLinesFillHidesAnOlderLineSwingingBelowIt) {
  // Line 5 swings to +1 in the middle of its packet: 0.1 H below its zero level, past the zero
  // levels of lines 6 and 7. Masked, the fill of line 7 covers that part; open, it shows.
  auto record = makeRecord(1, 1024);
  fillChannel(*record, 0, [](int i) { return i / 1024 == 5 ? 1.0f : 0.0f; });
  const double swing = (zeroLevel(5) + 0.1) * kHeight;  // in points
  ASSERT_GT(swing, zeroLevel(7) * kHeight + 1.5);
  ASSERT_LT(swing, zeroLevel(8) * kHeight - 1.5);
  const std::size_t column = static_cast<std::size_t>(kWidth);  // the middle, at 2×
  const std::size_t row = static_cast<std::size_t>(std::lround(2 * swing));

  for (bool masked : {true, false}) {
    apply({{"joyplotMask", masked ? 1 : 0},
           {"primaryColourGreen", 0},
           {"primaryColourBlue", 0},
           {"primaryColourAlpha", 1},
           {"backgroundColourBlue", 1},
           {"backgroundColourAlpha", 1}});
    draw(*record);
    const render::Image image = render::renderView(plot);
    ASSERT_EQ(image.width, static_cast<std::size_t>(2 * kWidth));
    int reddest = 0;
    for (std::size_t y = row - 1; y <= row + 1; ++y)
      reddest = std::max<int>(reddest, image.pixel(column, y)[0]);
    if (masked) {
      EXPECT_LT(reddest, 16) << "the older line shows through";
      EXPECT_EQ(image.pixel(column, row)[2], 255);
    } else {
      EXPECT_GT(reddest, 128) << "the open line's swing is missing";
    }
  }
}

// ---- Beyond the limits ----

TEST_F(JoyplotTest, RecordsWithoutFramesOrWithBadCountsLeaveThePaths) {
  for (bool masked : {true, false}) {
    apply({{"joyplotMask", masked ? 1 : 0}});
    auto good = makeRecord(2, 1024);
    fillChannel(*good, 0, noise(0.5f));
    draw(*good);
    const CGPathRef drawn = line(0)->path();
    ASSERT_NE(drawn, nullptr);
    for (auto [channels, frames] :
         std::initializer_list<std::pair<int, int>>{{2, 0}, {1, -7}, {3, 1024}, {0, 1024}}) {
      auto bad = makeRecord(channels, frames);
      fillChannel(*bad, 0, [](int) { return NAN; });
      draw(*bad);
      EXPECT_EQ(line(0)->path(), drawn) << channels << " channels, " << frames << " frames";
      EXPECT_EQ(plot->numberFrames(), 1024u);
      EXPECT_EQ(plot->numberBuffers(), 2u);
    }
  }
}

TEST_F(JoyplotTest, HostileValuesNeverGiveAnInvalidCoordinate) {
  auto record = makeRecord(1, 4096);
  fillChannel(*record, 0, [](int i) {
    return i % 3 == 0 ? NAN : i % 3 == 1 ? INFINITY : -INFINITY;
  });
  for (bool masked : {true, false}) {
    for (double gain : {double(NAN), double(INFINITY), 0.0, -1e30}) {
      apply({{"joyplotMask", masked ? 1 : 0}, {"waveGain", gain}, {"colourMethod", 1}});
      draw(*record);
      for (unsigned i = 0; i < (masked ? 20u : 1u); ++i)
        for (const CGPoint& p : pathPoints(line(i)))
          ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y)) << "gain " << gain;
    }
  }
}

}  // namespace
