// LockScreen: the plot over the lock screen's now-playing artwork, in SpringBoard.

#include <dlfcn.h>

#include <Foundation/Foundation.h>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/LockScreenHostClasses.h"
#include "Vellamor2/Startup.h"

constinit vellamor2::StaticRecord<lockscreenStateStruct> lockscreenState;

namespace LockScreen {
namespace {

using namespace LockScreenHost;

constinit StrongRef<NSObject> lsVellamorClass;

// Host implementations, kept when the hooks are installed.
constinit ViewDidLoad oldViewDidLoad = nullptr;
constinit WillRotate oldWillRotate = nullptr;
constinit ViewDidAppear oldViewDidAppear = nullptr;
constinit ViewDidDisappear oldViewDidDisappear = nullptr;
constinit ViewDidAppear oldPluginViewDidAppear = nullptr;
constinit ViewDidDisappear oldPluginViewDidDisappear = nullptr;
constinit InitWithFrame oldArtViewInitWithFrame = nullptr;

// ---- LSVellamorClass ---------------------------------------------------------------------------

void viewDidAppearHooks(id, SEL) {}
void viewDidDisappearHooks(id, SEL) {}

// ---- LSHooks (iOS 10): SBDashBoardMediaArtworkViewController -----------------------------------

void artworkViewDidLoad(id self, SEL _cmd) {
  oldViewDidLoad(self, _cmd);
}

void artworkWillRotate(id self, SEL _cmd, long orientation, double duration) {
  oldWillRotate(self, _cmd, orientation, duration);
}

void artworkViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldViewDidAppear(self, _cmd, animated);
}

void artworkViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldViewDidDisappear(self, _cmd, animated);
}

void artworkDrawPlot(id, SEL, id) {}

// ---- LSHooks_iOS9: NowPlayingArtPluginController, _NowPlayingArtView ---------------------------

void pluginViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldPluginViewDidAppear(self, _cmd, animated);
}

void pluginViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldPluginViewDidDisappear(self, _cmd, animated);
}

void pluginDrawPlot(id, SEL, id) {}

id artViewInitWithFrame(id self, SEL _cmd, CGRect frame) {
  id view = oldArtViewInitWithFrame(self, _cmd, frame);
  return view;
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------------------

void startup() {
  using vellamor2::added;
  using vellamor2::replaced;
  if (!vellamor2::isHost("com.apple.springboard")) return;

  Class cls = objc_allocateClassPair(objc_getClass("NSObject"), "LSVellamorClass", 0);
  objc_registerClassPair(cls);
  vellamor2::installHookGroup(
      {"LSVellamorClass_Group",
       {added("LSVellamorClass", "viewDidAppearHooks", &viewDidAppearHooks),
        added("LSVellamorClass", "viewDidDisappearHooks", &viewDidDisappearHooks)}});
  lsVellamorClass = StrongRef<NSObject>::adopt(class_createInstance(cls));

  vellamor2::logHooked();

  if (vellamor2::runningIOS10()) {
    vellamor2::installHookGroup(
        {"LSHooks",
         {replaced(kArtworkViewController, "viewDidLoad", &artworkViewDidLoad, &oldViewDidLoad),
          replaced(kArtworkViewController, "willRotateToInterfaceOrientation:duration:",
                   &artworkWillRotate, &oldWillRotate),
          replaced(kArtworkViewController, "viewDidAppear:", &artworkViewDidAppear,
                   &oldViewDidAppear),
          replaced(kArtworkViewController, "viewDidDisappear:", &artworkViewDidDisappear,
                   &oldViewDidDisappear),
          added(kArtworkViewController, "drawPlot:", &artworkDrawPlot)}});
  } else {
    ::dlopen(kPluginPath, RTLD_NOW);
    vellamor2::installHookGroup(
        {"LSHooks_iOS9",
         {replaced(kPluginController, "viewDidAppear:", &pluginViewDidAppear,
                   &oldPluginViewDidAppear),
          replaced(kPluginController, "viewDidDisappear:", &pluginViewDidDisappear,
                   &oldPluginViewDidDisappear),
          added(kPluginController, "drawPlot:", &pluginDrawPlot),
          replaced(kArtView, "initWithFrame:", &artViewInitWithFrame, &oldArtViewInitWithFrame)}});
  }
}

void constructState() {
  lockscreenState.construct([] { lockscreenState.destroy(); });
}

}  // namespace LockScreen
