// MusicApp: the plot over the Music app's now-playing artwork.

#include <Foundation/Foundation.h>
#include <UIKit/UIKit.h>
#include <substrate.h>

#include <cstdint>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/MusicAppHostClasses.h"
#include "Vellamor2/PlotIntegration.h"
#include "Vellamor2/ServiceClient.h"
#include "Vellamor2/Startup.h"

constinit vellamor2::StaticRecord<musicAppStateStruct> musicAppState;

namespace MusicApp {
namespace {

using namespace MusicAppHost;

constinit StrongRef<NSObject> mAppVellamorClass;
// The settings last fetched from SpringBoard.
constinit StrongRef<NSDictionary> vellamorPrefs;
constinit LMConnection connectionMusicApp = vellamor2::serviceConnection();
// The body of requests 2 and 3.
constexpr std::int32_t blankmsg = 0;
// What the drawing task needs; lives as long as the process.
constinit vellamor2::SnapshotDrawing drawing{&connectionMusicApp, &blankmsg, nullptr};

// Host implementations, kept when the hooks are installed.
constinit InitWithFrame oldVideoViewInitWithFrame = nullptr;
constinit SetVideoLayer oldVideoViewSetVideoLayer = nullptr;
constinit LayoutSubviews oldVideoViewLayoutSubviews = nullptr;
constinit ViewDidLoad oldControlsViewDidLoad = nullptr;
constinit ViewDidAppear oldControlsViewDidAppear = nullptr;
constinit ViewDidDisappear oldControlsViewDidDisappear = nullptr;
constinit UpdateNowPlayingInfo oldUpdateNowPlayingInfo = nullptr;
constinit ViewDidLoad oldNowPlayingViewDidLoad = nullptr;
constinit ViewDidAppear oldNowPlayingViewDidAppear = nullptr;
constinit ViewDidDisappear oldNowPlayingViewDidDisappear = nullptr;
constinit ViewDidAppear oldVideoControllerViewDidAppear = nullptr;

// ---- Shared state and the two exchanges --------------------------------------------------------

vellamor2::PlotRecord record() {
  return vellamor2::plotRecordOf(*musicAppState);
}

bool musicEnabled() {
  return vellamorPrefs && vellamorPrefs->boolValue("enabledMusic");
}

// A preference read from the last fetched settings; none reads as 0.
float preference(const char* key) {
  return vellamorPrefs ? vellamorPrefs->floatValue(key) : 0.0f;
}

// iOS 10: the artwork view has a video view on screen.
bool videoPlayingIOS10(id controls) {
  if (viewOf(controls) == nullptr) return false;
  id video = videoViewOf(artworkViewOf(controls));
  return video != nullptr && !isHidden(video);
}

// iOS 9: the current item's video controller has its view on screen.
bool videoPlayingIOS9(id nowPlaying) {
  id item = currentItemViewControllerOf(nowPlaying);
  if (item == nullptr) return false;
  id video = vellamor2::objectIvar(item, kVideoViewControllerIvar);
  return video != nullptr && !isHidden(viewOf(video));
}

bool stopForVideo(bool playing) {
  if (playing) NSLog("vellamor2: Video is playing, not showing vellamor.");
  return playing;
}

void showPlotAndStartLink() {
  msgSend<void>(mAppVellamorClass.get(), "viewDidAppearHooks");
  vellamor2::startDisplayLink(record(), mAppVellamorClass.get());
}

void hidePlot() {
  msgSend<void>(mAppVellamorClass.get(), "viewDidDisappearHooks");
}

void hidePlotIfShown() {
  if (musicAppState->plot) hidePlot();
}

// A notified colour with the user's alpha; none when the notification lacks it.
StrongRef<NSObject> notifiedColour(NSDictionary* userInfo, const char* key, const char* alphaKey) {
  return vellamor2::colourWithAlpha(userInfo != nullptr ? userInfo->objectForKey(key) : nullptr,
                                    preference(alphaKey));
}

StrongRef<NSObject> settingsColour(const char* red, const char* green, const char* blue,
                                   const char* alpha) {
  return UIColor::colorWithRed(preference(red), preference(green), preference(blue),
                               preference(alpha));
}

// ---- MAppVellamorClass -------------------------------------------------------------------------

void viewDidLoadHooks(id self, SEL) {
  NSNotificationCenter* center = NSNotificationCenter::defaultCenter();
  const SEL colourise = sel_registerName("CFCNHandle:");
  const SEL revert = sel_registerName("CFRNHandle:");
  center->addObserver(self, colourise, "ColorFlowLockScreenColorizationNotification", nullptr);
  center->addObserver(self, colourise, "ColorFlowMusicAppColorizationNotification", nullptr);
  center->addObserver(self, revert, "ColorFlowLockScreenColorReversionNotification", nullptr);
  center->addObserver(self, revert, "ColorFlowMusicAppColorReversionNotification", nullptr);
  vellamorPrefs = NSMutableDictionary::dictionary();
  msgSend<void>(self, "getVellamorPrefs");
}

void CFRNHandle(id, SEL, id) {
  musicAppState->savedPrimaryColor = settingsColour("primaryColourRed", "primaryColourGreen",
                                                    "primaryColourBlue", "primaryColourAlpha");
  musicAppState->savedSecondaryColor = settingsColour(
      "secondaryColourRed", "secondaryColourGreen", "secondaryColourBlue", "secondaryColourAlpha");
  musicAppState->savedBackgroundColor =
      settingsColour("backgroundColourRed", "backgroundColourGreen", "backgroundColourBlue",
                     "backgroundColourAlpha");
}

void CFCNHandle(id, SEL, id notification) {
  auto* posted = objc::cast<NSNotification>(notification);
  NSDictionary* userInfo = posted != nullptr ? posted->userInfo() : nullptr;
  musicAppState->savedPrimaryColor = notifiedColour(userInfo, "PrimaryColor", "primaryColourAlpha");
  musicAppState->savedSecondaryColor =
      notifiedColour(userInfo, "SecondaryColor", "secondaryColourAlpha");
  musicAppState->savedBackgroundColor =
      notifiedColour(userInfo, "BackgroundColor", "backgroundColourAlpha");
}

void getVellamorPrefs(id, SEL) {
  vellamor2::fetchPreferences(connectionMusicApp, blankmsg, vellamorPrefs);
}

void viewDidAppearHooks(id, SEL) {
  vellamor2::showPlot(record(), vellamorPrefs.get(),
                      vellamor2::KeptColourRule::primaryAndBackground);
}

void viewDidDisappearHooks(id, SEL) {
  vellamor2::hidePlot(record());
}

void drawPlot(id, SEL, id) {
  if (musicAppState->plot) vellamor2::postSnapshotDrawing(drawing);
}

// ---- _ungrouped (iOS 10): Music.VideoView ------------------------------------------------------

id videoViewInitWithFrame(id self, SEL _cmd, CGRect frame) {
  id view = oldVideoViewInitWithFrame(self, _cmd, frame);
  NSLog("vellamor2: Music.VideoView inited.");
  hidePlotIfShown();
  return view;
}

void videoViewSetVideoLayer(id self, SEL _cmd, id layer) {
  oldVideoViewSetVideoLayer(self, _cmd, layer);
  NSLog("vellamor2: Music.VideoView did setVideoLayer.");
  hidePlotIfShown();
}

void videoViewLayoutSubviews(id self, SEL _cmd) {
  oldVideoViewLayoutSubviews(self, _cmd);
  NSLog("vellamor2: Music.VideoView did layoutSubviews.");
  hidePlotIfShown();
}

// ---- MAppHooks (iOS 10): MusicNowPlayingControlsViewController ---------------------------------

void controlsViewDidLoad(id self, SEL _cmd) {
  oldControlsViewDidLoad(self, _cmd);
  NSLog("vellamor2: MusicNowPlayingControlsViewController Loaded.");
  msgSend<void>(mAppVellamorClass.get(), "viewDidLoadHooks");
}

void controlsViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldControlsViewDidAppear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt appeared.");
  if (stopForVideo(videoPlayingIOS10(self))) return;
  msgSend<void>(mAppVellamorClass.get(), "getVellamorPrefs");
  if (viewOf(self) == nullptr || musicAppState->plot || !musicEnabled()) return;
  musicAppState->hostView = artworkViewOf(self);
  showPlotAndStartLink();
}

void controlsViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldControlsViewDidDisappear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt disappeared.");
  hidePlot();
}

// ---- MAppHooks_iOS9: MusicNowPlayingViewController, MusicNowPlayingVideoViewController ---------

// The view of the current item: where the iOS 9 plot is drawn.
id currentItemViewOf(id nowPlaying) {
  return viewOf(currentItemViewControllerOf(nowPlaying));
}

void nowPlayingUpdateNowPlayingInfo(id self, SEL _cmd) {
  oldUpdateNowPlayingInfo(self, _cmd);
  if (stopForVideo(videoPlayingIOS9(self))) return;
  if (viewOf(self) == nullptr || !musicAppState->plot || currentItemViewOf(self) == nullptr ||
      !musicEnabled())
    return;
  hidePlot();
  musicAppState->hostView = currentItemViewOf(self);
  showPlotAndStartLink();
}

void nowPlayingViewDidLoad(id self, SEL _cmd) {
  oldNowPlayingViewDidLoad(self, _cmd);
  NSLog("vellamor2: MusicNowPlayingViewController Loaded.");
  msgSend<void>(mAppVellamorClass.get(), "viewDidLoadHooks");
}

void nowPlayingViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldNowPlayingViewDidAppear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt appeared.");
  if (stopForVideo(videoPlayingIOS9(self))) return;
  msgSend<void>(mAppVellamorClass.get(), "getVellamorPrefs");
  if (viewOf(self) == nullptr || musicAppState->plot || !musicEnabled()) return;
  musicAppState->hostView = currentItemViewOf(self);
  showPlotAndStartLink();
}

void nowPlayingViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldNowPlayingViewDidDisappear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt disappeared.");
  hidePlot();
}

void videoControllerViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldVideoControllerViewDidAppear(self, _cmd, animated);
  NSLog("vellamor2: MusicNowPlayingVideoViewController appeared.");
  hidePlotIfShown();
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------------------

void startup() {
  using vellamor2::added;
  using vellamor2::replaced;
  if (!vellamor2::isHost("com.apple.Music")) return;

  Class cls = objc_allocateClassPair(objc_getClass("NSObject"), "MAppVellamorClass", 0);
  objc_registerClassPair(cls);
  constexpr const char* kClass = "MAppVellamorClass";
  vellamor2::installHookGroup(
      {"MAppVellamorClass_Group",
       {added(kClass, "viewDidLoadHooks", &viewDidLoadHooks),
        added(kClass, "CFRNHandle:", &CFRNHandle), added(kClass, "CFCNHandle:", &CFCNHandle),
        added(kClass, "getVellamorPrefs", &getVellamorPrefs),
        added(kClass, "viewDidAppearHooks", &viewDidAppearHooks),
        added(kClass, "viewDidDisappearHooks", &viewDidDisappearHooks),
        added(kClass, "drawPlot:", &drawPlot)}});
  mAppVellamorClass = StrongRef<NSObject>::adopt(class_createInstance(cls));

  vellamor2::logHooked();

  if (vellamor2::runningIOS10()) {
    vellamor2::installHookGroup({"_ungrouped",
                                 {replaced(kVideoView, "initWithFrame:", &videoViewInitWithFrame,
                                           &oldVideoViewInitWithFrame),
                                  replaced(kVideoView, "setVideoLayer:", &videoViewSetVideoLayer,
                                           &oldVideoViewSetVideoLayer),
                                  replaced(kVideoView, "layoutSubviews", &videoViewLayoutSubviews,
                                           &oldVideoViewLayoutSubviews)}});
    vellamor2::installHookGroup(
        {"MAppHooks",
         {replaced(kControlsViewController, "viewDidLoad", &controlsViewDidLoad,
                   &oldControlsViewDidLoad),
          replaced(kControlsViewController, "viewDidAppear:", &controlsViewDidAppear,
                   &oldControlsViewDidAppear),
          replaced(kControlsViewController, "viewDidDisappear:", &controlsViewDidDisappear,
                   &oldControlsViewDidDisappear)}});
  } else {
    vellamor2::installHookGroup(
        {"MAppHooks_iOS9",
         {replaced(kNowPlayingViewController, "_updateNowPlayingInfo",
                   &nowPlayingUpdateNowPlayingInfo, &oldUpdateNowPlayingInfo),
          replaced(kNowPlayingViewController, "viewDidLoad", &nowPlayingViewDidLoad,
                   &oldNowPlayingViewDidLoad),
          replaced(kNowPlayingViewController, "viewDidAppear:", &nowPlayingViewDidAppear,
                   &oldNowPlayingViewDidAppear),
          replaced(kNowPlayingViewController, "viewDidDisappear:", &nowPlayingViewDidDisappear,
                   &oldNowPlayingViewDidDisappear),
          replaced(kVideoViewController, "viewDidAppear:", &videoControllerViewDidAppear,
                   &oldVideoControllerViewDidAppear)}});
  }
}

void constructState() {
  musicAppState.construct([] { musicAppState.destroy(); });
  drawing.plot = &musicAppState->plot;
}

}  // namespace MusicApp
