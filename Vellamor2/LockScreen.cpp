// LockScreen: the plot over the lock screen's now-playing artwork, in SpringBoard.

#include <dlfcn.h>

#include <CoreFoundation/CFRunLoop.h>
#include <Foundation/Foundation.h>
#include <Foundation/NSRunLoop.h>
#include <QuartzCore/CADisplayLink.h>
#include <UIKit/UIKit.h>
#include <dispatch/dispatch.h>
#include <substrate.h>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/IntegrationState.h"
#include "Vellamor2/LockScreenHostClasses.h"
#include "Vellamor2/PlotIntegration.h"
#include "Vellamor2/SpringBoardServer.h"
#include "Vellamor2/Startup.h"

constinit vellamor2::StaticRecord<lockscreenStateStruct> lockscreenState;

namespace LockScreen {
namespace {

using namespace LockScreenHost;

constinit StrongRef<NSObject> lsVellamorClass;
// The iOS 9 art view most recently made by the plug-in.
constinit StrongRef<NSObject> _artView;

// Host implementations, kept when the hooks are installed.
constinit ViewDidLoad oldViewDidLoad = nullptr;
constinit WillRotate oldWillRotate = nullptr;
constinit ViewDidAppear oldViewDidAppear = nullptr;
constinit ViewDidDisappear oldViewDidDisappear = nullptr;
constinit ViewDidAppear oldPluginViewDidAppear = nullptr;
constinit ViewDidDisappear oldPluginViewDidDisappear = nullptr;
constinit InitWithFrame oldArtViewInitWithFrame = nullptr;

// The settings manager's dictionary, read in place; none before SpringBoard has launched.
NSDictionary* settings() {
  return sManager ? sManager->preferences() : nullptr;
}

bool lockScreenEnabled() {
  NSDictionary* preferences = settings();
  return preferences != nullptr && preferences->boolValue("enabledLS");
}

// ---- LSVellamorClass ---------------------------------------------------------------------------

vellamor2::PlotRecord record() {
  return vellamor2::plotRecordOf(*lockscreenState);
}

void viewDidAppearHooks(id, SEL) {
  vellamor2::showPlot(record(), settings(), vellamor2::KeptColourRule::primary);
}

void viewDidDisappearHooks(id, SEL) {
  if (!lockscreenState->plot) return;
  vellamor2::hidePlot(record());
}

// ---- Display link and drawing ------------------------------------------------------------------

void startDisplayLink(id target) {
  vellamor2::startDisplayLink(record(), target);
}

// Main queue: whatever plot is visible now draws from the history record itself.
void drawTask() {
  if (id plot = lockscreenState->plot.get()) msgSend<void>(plot, "updateDataAndDraw:", &ServerData);
}

// A tick whose condition holds: the drawing runs as its own main-queue task.
void tick() {
  dispatch_async(dispatch_get_main_queue(), &drawTask);
}

// ---- LSHooks (iOS 10): SBDashBoardMediaArtworkViewController -----------------------------------

void artworkViewDidLoad(id self, SEL _cmd) {
  oldViewDidLoad(self, _cmd);
  NSLog("vellamor2: NowPlayingArt Loaded.");
}

void artworkWillRotate(id self, SEL _cmd, long orientation, double duration) {
  oldWillRotate(self, _cmd, orientation, duration);
  NSLog("vellamor2: NowPlayingArt rotated.");
}

void artworkViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldViewDidAppear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt appeared.");
  if (viewOf(self) == nullptr || lockscreenState->plot || !lockScreenEnabled()) return;
  lockscreenState->artworkView = vellamor2::objectIvar(self, kArtworkViewIvar);
  lockscreenState->hostView =
      vellamor2::objectIvar(lockscreenState->artworkView.get(), kArtworkContainerViewIvar);
  msgSend<void>(lsVellamorClass.get(), "viewDidAppearHooks");
  startDisplayLink(self);
}

void artworkViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldViewDidDisappear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt disappeared.");
  msgSend<void>(lsVellamorClass.get(), "viewDidDisappearHooks");
}

void artworkDrawPlot(id self, SEL, id) {
  if (viewOf(self) != nullptr && lockscreenState->plot) tick();
}

// ---- LSHooks_iOS9: NowPlayingArtPluginController, _NowPlayingArtView ---------------------------

void pluginViewDidAppear(id self, SEL _cmd, BOOL animated) {
  oldPluginViewDidAppear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt appeared.");
  if (!_artView || lockscreenState->plot || !lockScreenEnabled()) return;
  lockscreenState->hostView = artworkViewOf(_artView.get());
  msgSend<void>(lsVellamorClass.get(), "viewDidAppearHooks");
  startDisplayLink(self);
}

void pluginViewDidDisappear(id self, SEL _cmd, BOOL animated) {
  oldPluginViewDidDisappear(self, _cmd, animated);
  NSLog("vellamor2: NowPlayingArt disappeared.");
  msgSend<void>(lsVellamorClass.get(), "viewDidDisappearHooks");
}

void pluginDrawPlot(id, SEL, id) {
  if (_artView && lockscreenState->plot) tick();
}

id artViewInitWithFrame(id self, SEL _cmd, CGRect frame) {
  id view = oldArtViewInitWithFrame(self, _cmd, frame);
  _artView = view;
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
