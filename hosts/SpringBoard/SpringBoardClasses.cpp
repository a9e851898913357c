#include "SpringBoardClasses.h"

#include <dlfcn.h>

#include <HostCommon/RuntimeClass.h>
#include <HostCommon/SystemVersion.h>
#include <objc/StrongRef.h>

namespace springboard {
namespace {

constexpr const char* kPluginPath =
    "/System/Library/SpringBoardPlugins/NowPlayingArtLockScreen.lockbundle/NowPlayingArtLockScreen";
constexpr char kArtworkViewIvar[] = "_artworkView";
constexpr char kArtworkContainerViewIvar[] = "_artworkContainerView";

constinit int hostGeneration = host::kNewerGeneration;
constinit Class artworkViewClass = nullptr;
constinit Class artworkControllerClass = nullptr;
constinit bool launched = false;
StrongRef<NSObject> application;
StrongRef<NSObject> artworkController;

// ---- SpringBoard -------------------------------------------------------------------------------

void applicationDidFinishLaunching(id, SEL, id) {
  launched = true;
}

// ---- MPUNowPlayingArtworkView (iOS 10): the artwork, drawn inside its container view -----------

id artworkViewInitWithFrame(id self, SEL cmd, CGRect frame) {
  id view = host::callSuper<id>(artworkViewClass, self, cmd, frame);
  StrongRef<NSObject> container = StrongRef<NSObject>::adopt(
      host::newView("UIView", 0, 0, frame.size.width, frame.size.height));
  host::setIvarObject(view, kArtworkContainerViewIvar, container.get());
  msgSend<void>(view, "addSubview:", container.get());
  return view;
}

// ---- SBDashBoardMediaArtworkViewController (iOS 10) --------------------------------------------

void artworkControllerViewDidLoad(id self, SEL cmd) {
  host::callSuper<void>(artworkControllerClass, self, cmd);
  StrongRef<NSObject> artwork =
      StrongRef<NSObject>::adopt(host::newView("MPUNowPlayingArtworkView", 0, 0, 320, 320));
  host::setIvarObject(self, kArtworkViewIvar, artwork.get());
  msgSend<void>(msgSend<id>(self, "view"), "addSubview:", artwork.get());
}

void artworkControllerWillRotate(id, SEL, long, double) {}

void artworkControllerViewDidAppear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(artworkControllerClass, self, cmd, animated);
}

void artworkControllerViewDidDisappear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(artworkControllerClass, self, cmd, animated);
}

// The controller of the generation's lock-screen artwork, its view loaded.
StrongRef<NSObject> makeArtworkController() {
  const char* name = "SBDashBoardMediaArtworkViewController";
  if (hostGeneration == host::kOlderGeneration) {
    ::dlopen(kPluginPath, RTLD_NOW);  // SpringBoard loads its lock bundles on demand
    name = "NowPlayingArtPluginController";
  }
  id controller = host::newInstance(name);
  if (controller == nullptr) return nullptr;
  StrongRef<NSObject> owned = StrongRef<NSObject>::adopt(controller);
  msgSend<id>(controller, "view");  // loads it
  return owned;
}

}  // namespace

void defineClasses(int generation) {
  hostGeneration = generation;
  host::RuntimeClass("SpringBoard", "NSObject")
      .method("applicationDidFinishLaunching:", &applicationDidFinishLaunching)
      .define();
  if (generation == host::kOlderGeneration) return;
  artworkViewClass = host::RuntimeClass("MPUNowPlayingArtworkView", "UIView")
                         .objectIvar(kArtworkContainerViewIvar)
                         .method("initWithFrame:", &artworkViewInitWithFrame)
                         .define();
  artworkControllerClass =
      host::RuntimeClass("SBDashBoardMediaArtworkViewController", "UIViewController")
          .objectIvar(kArtworkViewIvar)
          .method("viewDidLoad", &artworkControllerViewDidLoad)
          .method("willRotateToInterfaceOrientation:duration:", &artworkControllerWillRotate)
          .method("viewDidAppear:", &artworkControllerViewDidAppear)
          .method("viewDidDisappear:", &artworkControllerViewDidDisappear)
          .define();
}

bool hasLaunched() {
  return launched;
}

void launch() {
  if (!application) application = StrongRef<NSObject>::adopt(host::newInstance("SpringBoard"));
  msgSend<void>(application.get(), "applicationDidFinishLaunching:", application.get());
}

void showNowPlayingArtwork() {
  if (artworkController) return;
  artworkController = makeArtworkController();
  msgSend<void>(artworkController.get(), "viewDidAppear:", true);
}

void hideNowPlayingArtwork() {
  if (!artworkController) return;
  msgSend<void>(artworkController.get(), "viewDidDisappear:", true);
  artworkController = nullptr;
}

// Lock screen: for the screen and its control service.
id nowPlayingArtworkController() {
  return artworkController.get();
}

}  // namespace springboard
