// NowPlayingArtLockScreen: the plug-in controller of the iOS 9 lock screen's now-playing artwork
// and its art view, defined when the bundle is loaded.

#include <HostCommon/RuntimeClass.h>
#include <objc/StrongRef.h>

namespace {

constexpr char kArtworkViewIvar[] = "_artworkView";
constexpr char kArtViewIvar[] = "_artView";

constinit Class artViewClass = nullptr;
constinit Class pluginControllerClass = nullptr;

// ---- _NowPlayingArtView: the artwork, with the view that shows the image ----------------------

id artViewInitWithFrame(id self, SEL cmd, CGRect frame) {
  id view = host::callSuper<id>(artViewClass, self, cmd, frame);
  StrongRef<NSObject> artwork = StrongRef<NSObject>::adopt(
      host::newView("UIView", 0, 0, frame.size.width, frame.size.height));
  host::setIvarObject(view, kArtworkViewIvar, artwork.get());
  msgSend<void>(view, "addSubview:", artwork.get());
  return view;
}

// ---- NowPlayingArtPluginController -------------------------------------------------------------

void pluginViewDidLoad(id self, SEL cmd) {
  host::callSuper<void>(pluginControllerClass, self, cmd);
  StrongRef<NSObject> artView =
      StrongRef<NSObject>::adopt(host::newView("_NowPlayingArtView", 0, 0, 320, 320));
  host::setIvarObject(self, kArtViewIvar, artView.get());
  msgSend<void>(msgSend<id>(self, "view"), "addSubview:", artView.get());
}

void pluginViewDidAppear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(pluginControllerClass, self, cmd, animated);
}

void pluginViewDidDisappear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(pluginControllerClass, self, cmd, animated);
}

__attribute__((constructor)) void defineClasses() {
  artViewClass = host::RuntimeClass("_NowPlayingArtView", "UIView")
                     .objectIvar(kArtworkViewIvar)
                     .method("initWithFrame:", &artViewInitWithFrame)
                     .method("artworkView", &host::ivarGetter<kArtworkViewIvar>)
                     .define();
  pluginControllerClass = host::RuntimeClass("NowPlayingArtPluginController", "UIViewController")
                              .objectIvar(kArtViewIvar)
                              .method("viewDidLoad", &pluginViewDidLoad)
                              .method("viewDidAppear:", &pluginViewDidAppear)
                              .method("viewDidDisappear:", &pluginViewDidDisappear)
                              .define();
}

}  // namespace
