// SpotifyApp: the plot over Spotify's now-playing cover art.

#include <Foundation/Foundation.h>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/SpotifyAppHostClasses.h"
#include "Vellamor2/Startup.h"

constinit vellamor2::StaticRecord<SPTStateStruct> SPTState;

namespace SpotifyApp {
namespace {

using namespace SpotifyAppHost;

// Host implementations, kept when the hooks are installed.
constinit ViewDidLoad oldCarouselViewDidLoad = nullptr;
constinit ViewDidAppear oldCarouselViewDidAppear = nullptr;
constinit ViewDidDisappear oldCarouselViewDidDisappear = nullptr;
constinit SetIconColor oldPreviousTrackSetIconColor = nullptr;
constinit InitWithFrame oldPlayButtonInitWithFrame = nullptr;

// ---- SPTAppHooks: SPTNowPlayingCarouselAreaViewController --------------------------------------

void carouselViewDidLoad(id self, SEL _cmd) {
  oldCarouselViewDidLoad(self, _cmd);
}

void carouselGetVellamorPrefs(id, SEL) {}

void carouselViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldCarouselViewDidAppear(self, _cmd, animated);
}

void carouselViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldCarouselViewDidDisappear(self, _cmd, animated);
}

void carouselDrawPlot(id, SEL, id) {}

// ---- SPTAppHooks: SPTNowPlayingPreviousTrackButton, SPTNowPlayingPlayButton --------------------

void previousTrackSetIconColor(id self, SEL _cmd, id color) {
  oldPreviousTrackSetIconColor(self, _cmd, color);
}

id playButtonInitWithFrame(id self, SEL _cmd, CGRect frame) {
  id button = oldPlayButtonInitWithFrame(self, _cmd, frame);
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
}

}  // namespace SpotifyApp
