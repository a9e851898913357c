// SpotifyApp: the plot over Spotify's now-playing cover art.

#include <Foundation/Foundation.h>

#include <cstdint>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/PlotIntegration.h"
#include "Vellamor2/ServiceClient.h"
#include "Vellamor2/SpotifyAppHostClasses.h"
#include "Vellamor2/Startup.h"

constinit vellamor2::StaticRecord<SPTStateStruct> SPTState;

namespace SpotifyApp {
namespace {

using namespace SpotifyAppHost;

// The settings last fetched from SpringBoard.
constinit StrongRef<NSDictionary> vellamorPrefsSpotify;
// The carousel controller whose view loaded last and the play button made last, kept for the
// life of the process.
constinit StrongRef<NSObject> _SPTNowPlayingCarouselAreaViewController;
constinit StrongRef<NSObject> _SPTNowPlayingPlayButton;
constinit LMConnection connectionSpotifyApp = vellamor2::serviceConnection();
// This unit's body of requests 2 and 3.
constexpr std::int32_t blankmsg = 0;
// What the drawing task needs; lives as long as the process.
constinit vellamor2::SnapshotDrawing drawing{&connectionSpotifyApp, &blankmsg, nullptr};

// Host implementations, kept when the hooks are installed.
constinit ViewDidLoad oldCarouselViewDidLoad = nullptr;
constinit ViewDidAppear oldCarouselViewDidAppear = nullptr;
constinit ViewDidDisappear oldCarouselViewDidDisappear = nullptr;
constinit SetIconColor oldPreviousTrackSetIconColor = nullptr;
constinit InitWithFrame oldPlayButtonInitWithFrame = nullptr;

vellamor2::PlotRecord record() {
  return vellamor2::plotRecordOf(*SPTState);
}

// A preference read from the last fetched settings; none reads as 0.
float preference(const char* key) {
  return vellamorPrefsSpotify ? vellamorPrefsSpotify->floatValue(key) : 0.0f;
}

bool preferenceIsSet(const char* key) {
  return vellamorPrefsSpotify && vellamorPrefsSpotify->boolValue(key);
}

// The fourth subview of the player's blurred background image view, whose colour is the plot's
// background; none before a carousel loaded or in a layout of three subviews or fewer.
id backgroundColourSource() {
  if (!_SPTNowPlayingCarouselAreaViewController) return nullptr;
  id blurView = backgroundImageBlurViewOf(
      backgroundViewOf(blurControllerOf(_SPTNowPlayingCarouselAreaViewController.get())));
  id subviews = subviewsOf(blurView);
  if (subviews == nullptr || msgSend<unsigned long>(subviews, "count") <= 3) return nullptr;
  return msgSend<id>(subviews, "objectAtIndex:", 3UL);
}

// ---- SPTAppHooks: SPTNowPlayingCarouselAreaViewController --------------------------------------

void carouselViewDidLoad(id self, SEL _cmd) {
  oldCarouselViewDidLoad(self, _cmd);
  _SPTNowPlayingCarouselAreaViewController = self;
  NSLog("vellamor2: SPTNowPlayingCarouselAreaViewController Loaded.");
  vellamorPrefsSpotify = NSMutableDictionary::dictionary();
  msgSend<void>(self, "getVellamorPrefs");
}

void carouselGetVellamorPrefs(id, SEL) {
  vellamor2::fetchPreferences(connectionSpotifyApp, blankmsg, vellamorPrefsSpotify);
}

void carouselViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldCarouselViewDidAppear(self, _cmd, animated);
  NSLog("vellamor2: SPTNowPlayingCarouselAreaViewController appeared.");
  msgSend<void>(self, "getVellamorPrefs");
  if (viewOf(self) == nullptr || SPTState->plot || !preferenceIsSet("enabledSPT")) return;
  SPTState->hostView = coverArtViewOf(coverArtControllerOf(self));
  vellamor2::showPlot(record(), vellamorPrefsSpotify.get(),
                      vellamor2::KeptColourRule::primaryAndBackground);
  vellamor2::startDisplayLink(record(), self);
}

void carouselViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldCarouselViewDidDisappear(self, _cmd, animated);
  NSLog("vellamor2: SPTNowPlayingCarouselAreaViewController disappeared.");
  vellamor2::hidePlot(record());
}

void carouselDrawPlot(id self, SEL, id) {
  if (viewOf(self) != nullptr && SPTState->plot) vellamor2::postSnapshotDrawing(drawing);
}

// ---- SPTAppHooks: SPTNowPlayingPreviousTrackButton, SPTNowPlayingPlayButton --------------------

void previousTrackSetIconColor(id self, SEL _cmd, id color) {
  oldPreviousTrackSetIconColor(self, _cmd, color);
  if (!preferenceIsSet("enabledCF")) return;
  id background = backgroundColourSource();
  if (background == nullptr) return;
  SPTStateStruct& state = *SPTState;
  state.savedPrimaryColor = vellamor2::colourWithAlpha(color, preference("primaryColourAlpha"));
  state.savedSecondaryColor = vellamor2::colourWithAlpha(
      circleColorOf(_SPTNowPlayingPlayButton.get()), preference("secondaryColourAlpha"));
  state.savedBackgroundColor = vellamor2::colourWithAlpha(backgroundColorOf(background),
                                                          preference("backgroundColourAlpha"));
  if (id plot = state.plot.get()) {
    msgSend<void>(plot, "changePrimaryColor:", state.savedPrimaryColor.get());
    msgSend<void>(plot, "changeSecondaryColor:", state.savedSecondaryColor.get());
    msgSend<void>(plot, "changeBackgroundColor:", state.savedBackgroundColor.get());
  }
}

id playButtonInitWithFrame(id self, SEL _cmd, CGRect frame) {
  id button = oldPlayButtonInitWithFrame(self, _cmd, frame);
  _SPTNowPlayingPlayButton = button;
  return button;
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------------------

void startup() {
  using vellamor2::added;
  using vellamor2::replaced;
  if (!vellamor2::isHost("com.spotify.client")) return;

  vellamor2::logHooked();

  vellamor2::installHookGroup(
      {"SPTAppHooks",
       {replaced(kCarouselAreaViewController, "viewDidLoad", &carouselViewDidLoad,
                 &oldCarouselViewDidLoad),
        added(kCarouselAreaViewController, "getVellamorPrefs", &carouselGetVellamorPrefs),
        replaced(kCarouselAreaViewController, "viewDidAppear:", &carouselViewDidAppear,
                 &oldCarouselViewDidAppear),
        replaced(kCarouselAreaViewController, "viewDidDisappear:", &carouselViewDidDisappear,
                 &oldCarouselViewDidDisappear),
        added(kCarouselAreaViewController, "drawPlot:", &carouselDrawPlot),
        replaced(kPreviousTrackButton, "setIconColor:", &previousTrackSetIconColor,
                 &oldPreviousTrackSetIconColor),
        replaced(kPlayButton, "initWithFrame:", &playButtonInitWithFrame,
                 &oldPlayButtonInitWithFrame)}});
}

void constructState() {
  SPTState.construct([] { SPTState.destroy(); });
  drawing.plot = &SPTState->plot;
}

}  // namespace SpotifyApp
