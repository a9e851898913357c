// The Music app on a whole device of each generation, driven through its control service: its
// plot moves while the track plays, a video takes it down until the next appearance, "ColourMethod"
// 2 colours it with the artwork's palette, and a stopped SpringBoard stops its drawing without
// stopping the app.

#include <gtest/gtest.h>
#include <signal.h>

#include <ColorFlow/ArtworkPalette.h>
#include <HostScreen/ArtworkImage.h>

#include <string>

#include "SystemTestSupport.h"

namespace {

using system_test::meanDifference;

class MusicDevice : public system_test::AppDevice, public ::testing::WithParamInterface<int> {
 protected:
  MusicDevice() : AppDevice("Music") {}
  bool boot() { return AppDevice::boot(GetParam()); }
};

TEST_P(MusicDevice, PlotFollowsTheTrackAndGivesWayToAVideo) {
  ASSERT_TRUE(boot()) << device_.log();
  const auto first = capture("playing-1");
  ASSERT_TRUE(newFrames(3));
  EXPECT_GT(meanDifference(first, capture("playing-2")), 0.0);

  ASSERT_TRUE(ask("play-video"));
  EXPECT_TRUE(holdsStill()) << "the plot drew on over the video";
  ASSERT_TRUE(ask("stop-video"));
  ASSERT_TRUE(reshow());
  EXPECT_TRUE(newFrames(3)) << "the plot did not come back";
}

// With "ColourMethod" 2 the plot is drawn in the primary colour of the artwork's palette.
TEST_P(MusicDevice, ColourMethodTwoDrawsWithTheArtworksColours) {
  ASSERT_TRUE(boot()) << device_.log();
  store("EnabledMusic", NSNumber::numberWithBool(false).get());
  store("PrimaryColourAlpha", NSNumber::numberWithDouble(1.0).get());
  store("BackgroundColourAlpha", NSNumber::numberWithDouble(0.0).get());
  store("WaveThickness", NSNumber::numberWithDouble(6.0).get());
  ASSERT_TRUE(testing_support::waitFor([&] { return reshow() && holdsStill(); }));
  const auto artworkAlone = capture("artwork");
  // The method first: the app reloads every key at each change, so a plot that appears has it.
  store("ColourMethod", NSNumber::numberWithInteger(2).get());
  store("EnabledMusic", NSNumber::numberWithBool(true).get());
  ASSERT_TRUE(reshowUntilDrawing());
  const auto withPlot = capture("coloured");

  cg::ImageRef cover = screen::generatedCover(512, 0);
  const auto palette = colorflow::paletteFromArtwork(cover->rgba(), cover->width(), cover->height(),
                                                     cover->bytesPerRow());
  ASSERT_TRUE(palette);
  EXPECT_GT(system_test::shareOfPlotPixelsIn(withPlot, artworkAlone, palette->primary), 0.5);
}

// Pixels of `picture` (captured at 1 pixel per point) in the rectangle darker than mid-grey.
int darkPixelsIn(const render::Image& picture, int left, int top, int width, int height) {
  int dark = 0;
  for (int y = top; y < top + height && y < static_cast<int>(picture.height); ++y)
    for (int x = left; x < left + width && x < static_cast<int>(picture.width); ++x)
      dark += picture.rgba[(static_cast<std::size_t>(y) * picture.width + x) * 4] < 110;
  return dark;
}

// The device's now-playing information shows under the artwork: the title's line is drawn.
TEST_P(MusicDevice, ShowsTheTracksTitleUnderTheArtwork) {
  ASSERT_TRUE(boot()) << device_.log();
  constexpr int kTitleLeft = 28, kTitleTop = 454, kTitleWidth = 320, kTitleHeight = 28;
  EXPECT_EQ(darkPixelsIn(capture("untitled"), kTitleLeft, kTitleTop, kTitleWidth, kTitleHeight), 0);
  ASSERT_TRUE(ask("now-playing Dusk Loop|Vellamor2|12|32"));
  EXPECT_GT(darkPixelsIn(capture("titled"), kTitleLeft, kTitleTop, kTitleWidth, kTitleHeight), 100);
}

// A stopped SpringBoard: every exchange fails, nothing is drawn, the app still answers; drawing
// comes back when it goes on.
TEST_P(MusicDevice, AStoppedSpringBoardStopsTheDrawingButNotTheApp) {
  ASSERT_TRUE(boot()) << device_.log();
  const pid_t hub = recordedPid("SpringBoard");
  ASSERT_GT(hub, 1);
  ASSERT_EQ(::kill(hub, SIGSTOP), 0);
  EXPECT_TRUE(holdsStill());
  EXPECT_TRUE(ask("capture " + (device_.path() / "stopped.png").string()));
  ASSERT_EQ(::kill(hub, SIGCONT), 0);
  EXPECT_TRUE(newFrames(3));
}

INSTANTIATE_TEST_SUITE_P(System, MusicDevice, ::testing::Values(9, 10),
                         [](const auto& info) { return "iOS" + std::to_string(info.param); });

}  // namespace
