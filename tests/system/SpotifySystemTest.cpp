// Spotify on a whole device, driven through its control service: its plot moves while the track
// plays, and with "ColourMethod" 2 a new track gives the plot the colours of Spotify's controls.

#include <gtest/gtest.h>

#include <ColorFlow/ArtworkPalette.h>
#include <HostScreen/ArtworkImage.h>

#include <string>

#include "SystemTestSupport.h"

namespace {

class SpotifyDevice : public system_test::AppDevice {
 protected:
  SpotifyDevice() : AppDevice("Spotify") {}
};

TEST_F(SpotifyDevice, PlotFollowsTheTrack) {
  ASSERT_TRUE(boot(10)) << device_.log();
  const auto first = capture("playing-1");
  ASSERT_TRUE(newFrames(3));
  EXPECT_GT(system_test::meanDifference(first, capture("playing-2")), 0.0);
}

// The next track recolours the controls; the plot is drawn in the previous-track icon's colour,
// the cover's most distinct one.
TEST_F(SpotifyDevice, ColourMethodTwoAndANextTrackGiveThePlotTheControlsColours) {
  ASSERT_TRUE(boot(10)) << device_.log();
  store("PrimaryColourAlpha", NSNumber::numberWithDouble(1.0).get());
  store("BackgroundColourAlpha", NSNumber::numberWithDouble(0.0).get());
  store("WaveThickness", NSNumber::numberWithDouble(6.0).get());
  store("ColourMethod", NSNumber::numberWithInteger(2).get());
  store("EnabledSPT", NSNumber::numberWithBool(false).get());
  // The plot gone shows the app holds every key above (it reloads them all at each change), so
  // the next track's recolouring keeps the controls' colours for the plot.
  ASSERT_TRUE(testing_support::waitFor([&] { return reshow() && holdsStill(); }));
  ASSERT_TRUE(ask("next-track"));
  ASSERT_TRUE(testing_support::waitFor([&] { return holdsStill(); }));
  const auto coverAlone = capture("cover");
  store("EnabledSPT", NSNumber::numberWithBool(true).get());
  ASSERT_TRUE(reshowUntilDrawing());
  const auto withPlot = capture("coloured");

  cg::ImageRef cover = screen::generatedCover(512, 1);
  const auto palette = colorflow::paletteFromArtwork(cover->rgba(), cover->width(), cover->height(),
                                                     cover->bytesPerRow());
  ASSERT_TRUE(palette);
  EXPECT_GT(system_test::shareOfPlotPixelsIn(withPlot, coverAlone, palette->primary), 0.5);
}

}  // namespace
