// MusicApp: the plot over the Music app's now-playing artwork.

#include <Foundation/Foundation.h>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/MusicAppHostClasses.h"
#include "Vellamor2/Startup.h"

constinit vellamor2::StaticRecord<musicAppStateStruct> musicAppState;

namespace MusicApp {
namespace {

using namespace MusicAppHost;

constinit StrongRef<NSObject> mAppVellamorClass;

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

// ---- MAppVellamorClass -------------------------------------------------------------------------

void viewDidLoadHooks(id, SEL) {}
void CFRNHandle(id, SEL, id) {}
void CFCNHandle(id, SEL, id) {}
void getVellamorPrefs(id, SEL) {}
void viewDidAppearHooks(id, SEL) {}
void viewDidDisappearHooks(id, SEL) {}
void drawPlot(id, SEL, id) {}

// ---- _ungrouped (iOS 10): Music.VideoView ------------------------------------------------------

id videoViewInitWithFrame(id self, SEL _cmd, CGRect frame) {
  id view = oldVideoViewInitWithFrame(self, _cmd, frame);
  return view;
}

void videoViewSetVideoLayer(id self, SEL _cmd, id layer) {
  oldVideoViewSetVideoLayer(self, _cmd, layer);
}

void videoViewLayoutSubviews(id self, SEL _cmd) {
  oldVideoViewLayoutSubviews(self, _cmd);
}

// ---- MAppHooks (iOS 10): MusicNowPlayingControlsViewController ---------------------------------

void controlsViewDidLoad(id self, SEL _cmd) {
  oldControlsViewDidLoad(self, _cmd);
}

void controlsViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldControlsViewDidAppear(self, _cmd, animated);
}

void controlsViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldControlsViewDidDisappear(self, _cmd, animated);
}

// ---- MAppHooks_iOS9: MusicNowPlayingViewController, MusicNowPlayingVideoViewController ---------

void nowPlayingUpdateNowPlayingInfo(id self, SEL _cmd) {
  oldUpdateNowPlayingInfo(self, _cmd);
}

void nowPlayingViewDidLoad(id self, SEL _cmd) {
  oldNowPlayingViewDidLoad(self, _cmd);
}

void nowPlayingViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldNowPlayingViewDidAppear(self, _cmd, animated);
}

void nowPlayingViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldNowPlayingViewDidDisappear(self, _cmd, animated);
}

void videoControllerViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldVideoControllerViewDidAppear(self, _cmd, animated);
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
}

}  // namespace MusicApp
