// The plot in Spotify's own classes, fed by a stand-in of SpringBoard's service: its appearance,
// and the colours it takes from Spotify's player controls. Every case runs as a Spotify of its
// own in a child process.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <Foundation/Foundation.h>
#include <HostCommon/RuntimeClass.h>
#include <UIKit/UIKit.h>

#include <functional>
#include <string>

#include "AppTestService.h"
#include "AppTestSupport.h"
#include "SpotifyClasses.h"
#include "TempDevice.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/Startup.h"

namespace {

using app_test::countOf;
using app_test::sameColor;

bool asSpotify(NSDictionary* settings, const std::function<void()>& body) {
  return app_test::asApp("com.spotify.client", &spotify::defineClasses, 10, settings, body);
}

StrongRef<NSMutableDictionary> settingsWith(bool enabledSPT, bool enabledCF) {
  auto settings = NSMutableDictionary::dictionary();
  settings->setObject(NSNumber::numberWithBool(enabledSPT).get(), "enabledSPT");
  settings->setObject(NSNumber::numberWithBool(enabledCF).get(), "enabledCF");
  for (auto [key, value] : {std::pair{"primaryColourAlpha", 0.5},
                            {"secondaryColourAlpha", 0.75},
                            {"backgroundColourAlpha", 0.25}})
    settings->setObject(NSNumber::numberWithDouble(value).get(), key);
  return settings;
}

id plotColour(const char* getter) {
  return msgSend<id>(SPTState->plot.get(), getter);
}

id previousTrackButton() {
  return host::ivarObject(spotify::nowPlayingController(), "_previousTrackButton");
}

// The player's colours: icon red, circle green, background bands blue, the fourth grey.
void recolour() {
  spotify::recolourControls(
      {UIColor::colorWithRed(1, 0, 0, 1),
       UIColor::colorWithRed(0, 1, 0, 1),
       {UIColor::colorWithRed(0, 0, 1, 1), UIColor::colorWithRed(0, 0, 1, 1),
        UIColor::colorWithRed(0, 0, 1, 1), UIColor::colorWithRed(0.5, 0.5, 0.5, 1),
        UIColor::colorWithRed(0, 0, 1, 1)}});
}

class SpotifyApp : public ::testing::Test {
 protected:
  testing_support::TempDevice device_;
};

}  // namespace

TEST_F(SpotifyApp, DisabledItComesAndGoesWithItsLogLinesAndNoPlot) {
  EXPECT_TRUE(asSpotify(settingsWith(false, false), [&] {
    spotify::showNowPlaying();
    EXPECT_FALSE(SPTState->plot);
    spotify::hideNowPlaying();
    const std::string log = device_.log();
    EXPECT_EQ(countOf(log, "vellamor2: SPTNowPlayingCarouselAreaViewController appeared."), 1);
    EXPECT_EQ(countOf(log, "vellamor2: SPTNowPlayingCarouselAreaViewController disappeared."), 1);
  }));
}

TEST_F(SpotifyApp, WithoutColorFlowTheIconColourChangesOnlyTheIcon) {
  EXPECT_TRUE(asSpotify(settingsWith(true, false), [&] {
    spotify::showNowPlaying();
    ASSERT_TRUE(SPTState->plot);
    StrongRef<NSObject> primary = plotColour("getPrimaryColor");
    recolour();
    EXPECT_TRUE(sameColor(msgSend<id>(previousTrackButton(), "iconColor"), 1, 0, 0, 1));
    EXPECT_EQ(plotColour("getPrimaryColor"), primary.get());
    EXPECT_FALSE(SPTState->savedPrimaryColor);
    EXPECT_FALSE(SPTState->savedBackgroundColor);
  }));
}

// With five bands the plot takes the icon's and the fourth band's colours with the user's
// alphas; with three it keeps its own.
class BlurLayout : public SpotifyApp, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(BlurLayout, TheFourthBandColoursTheBackgroundOnlyWhenThereIsOne) {
  const std::size_t bands = GetParam();
  EXPECT_TRUE(asSpotify(settingsWith(true, true), [&] {
    spotify::setBlurLayout(bands);
    spotify::showNowPlaying();
    ASSERT_TRUE(SPTState->plot);
    StrongRef<NSObject> primary = plotColour("getPrimaryColor");
    StrongRef<NSObject> background = plotColour("getBackgroundColor");
    recolour();
    if (bands == 5) {
      EXPECT_TRUE(sameColor(plotColour("getPrimaryColor"), 1, 0, 0, 0.5));
      EXPECT_TRUE(sameColor(plotColour("getSecondaryColor"), 0, 1, 0, 0.75));
      EXPECT_TRUE(sameColor(plotColour("getBackgroundColor"), 0.5, 0.5, 0.5, 0.25));
    } else {
      EXPECT_EQ(plotColour("getPrimaryColor"), primary.get());
      EXPECT_EQ(plotColour("getBackgroundColor"), background.get());
      EXPECT_FALSE(SPTState->savedPrimaryColor);
    }
  }));
}

INSTANTIATE_TEST_SUITE_P(SpotifyApp, BlurLayout, ::testing::Values(5u, 3u),
                         [](const auto& info) { return std::to_string(info.param) + "Bands"; });

TEST_F(SpotifyApp, TheNextPlotStartsWithTheColoursTheLastOneHadWhenHidden) {
  EXPECT_TRUE(asSpotify(settingsWith(true, true), [&] {
    spotify::showNowPlaying();
    recolour();
    StrongRef<NSObject> first = SPTState->plot;
    msgSend<void>(first.get(), "changePrimaryColor:", UIColor::colorWithRed(0, 1, 1, 1).get());
    spotify::hideNowPlaying();
    spotify::showNowPlaying();
    ASSERT_TRUE(SPTState->plot);
    EXPECT_NE(SPTState->plot.get(), first.get());
    // The hue kept, the alpha the settings' (the plot applies them after the hand-back).
    EXPECT_TRUE(sameColor(plotColour("getPrimaryColor"), 0, 1, 1, 0.5));
    EXPECT_TRUE(sameColor(plotColour("getBackgroundColor"), 0.5, 0.5, 0.5, 0.25));
  }));
}

TEST_F(SpotifyApp, BeforeAnyPlayButtonTheSecondaryColourHandedOverIsEmpty) {
  EXPECT_TRUE(asSpotify(settingsWith(true, true), [&] {
    spotify::showNowPlaying();  // the player has no colours yet, so no play button
    ASSERT_TRUE(SPTState->plot);
    msgSend<void>(previousTrackButton(),
                  "setIconColor:", static_cast<id>(UIColor::colorWithRed(1, 0, 0, 1).get()));
    EXPECT_FALSE(SPTState->savedSecondaryColor);
    EXPECT_EQ(plotColour("getSecondaryColor"), nullptr);
    EXPECT_TRUE(sameColor(plotColour("getPrimaryColor"), 1, 0, 0, 0.5));
    // It draws on without a secondary colour.
    static serverDataStruct record{};
    record.numberBuffers = 2;
    record.numberFrames = 512;
    record.data[0][kHistoryCapacitySamples - 1] = 0.5f;
    msgSend<void>(SPTState->plot.get(), "updateDataAndDraw:", static_cast<const void*>(&record));
  }));
}
