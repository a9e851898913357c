#include "MusicClasses.h"

#include <HostCommon/RuntimeClass.h>
#include <HostCommon/SystemVersion.h>
#include <objc/StrongRef.h>

namespace music {
namespace {

constexpr char kArtworkViewIvar[] = "_artworkView";
constexpr char kVideoViewIvar[] = "_videoView";
constexpr char kVideoLayerIvar[] = "_videoLayer";
constexpr char kCurrentItemViewControllerIvar[] = "_currentItemViewController";
constexpr char kVideoViewControllerIvar[] = "_videoViewController";

constinit int hostGeneration = host::kNewerGeneration;
constinit Class videoViewClass = nullptr;
constinit Class controlsControllerClass = nullptr;
constinit Class nowPlayingControllerClass = nullptr;
constinit Class videoControllerClass = nullptr;
StrongRef<NSObject> nowPlaying;

StrongRef<NSObject> adopt(id object) {
  return StrongRef<NSObject>::adopt(object);
}

// ---- Music.VideoView (iOS 10) ------------------------------------------------------------------

id videoViewInitWithFrame(id self, SEL cmd, CGRect frame) {
  return host::callSuper<id>(videoViewClass, self, cmd, frame);
}

void videoViewSetVideoLayer(id self, SEL, id layer) {
  host::setIvarObject(self, kVideoLayerIvar, layer);
}

void videoViewLayoutSubviews(id self, SEL cmd) {
  host::callSuper<void>(videoViewClass, self, cmd);
}

// ---- MusicNowPlayingControlsViewController (iOS 10) --------------------------------------------

void controlsViewDidLoad(id self, SEL cmd) {
  host::callSuper<void>(controlsControllerClass, self, cmd);
  auto artwork = adopt(host::newView("Music.ArtworkComponentImageView", 0, 0, 320, 320));
  host::setIvarObject(self, kArtworkViewIvar, artwork.get());
  msgSend<void>(msgSend<id>(self, "view"), "addSubview:", artwork.get());
}

void controlsViewDidAppear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(controlsControllerClass, self, cmd, animated);
}

void controlsViewDidDisappear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(controlsControllerClass, self, cmd, animated);
}

// ---- MusicNowPlayingViewController (iOS 9) -----------------------------------------------------

void nowPlayingUpdateNowPlayingInfo(id self, SEL) {
  // A new item gets a controller (and view) of its own.
  auto item = adopt(host::newInstance("MusicNowPlayingItemViewController"));
  msgSend<id>(item.get(), "view");
  host::setIvarObject(self, kCurrentItemViewControllerIvar, item.get());
}

void nowPlayingViewDidLoad(id self, SEL cmd) {
  host::callSuper<void>(nowPlayingControllerClass, self, cmd);
  msgSend<void>(self, "_updateNowPlayingInfo");
}

void nowPlayingViewDidAppear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(nowPlayingControllerClass, self, cmd, animated);
}

void nowPlayingViewDidDisappear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(nowPlayingControllerClass, self, cmd, animated);
}

void videoControllerViewDidAppear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(videoControllerClass, self, cmd, animated);
}

void defineIOS10() {
  videoViewClass = host::RuntimeClass("Music.VideoView", "UIView")
                       .objectIvar(kVideoLayerIvar)
                       .method("initWithFrame:", &videoViewInitWithFrame)
                       .method("setVideoLayer:", &videoViewSetVideoLayer)
                       .method("layoutSubviews", &videoViewLayoutSubviews)
                       .define();
  host::RuntimeClass("Music.ArtworkComponentImageView", "UIView")
      .objectIvar(kVideoViewIvar)
      .method("videoView", &host::ivarGetter<kVideoViewIvar>)
      .define();
  controlsControllerClass =
      host::RuntimeClass("MusicNowPlayingControlsViewController", "UIViewController")
          .objectIvar(kArtworkViewIvar)
          .method("viewDidLoad", &controlsViewDidLoad)
          .method("viewDidAppear:", &controlsViewDidAppear)
          .method("viewDidDisappear:", &controlsViewDidDisappear)
          .method("artworkView", &host::ivarGetter<kArtworkViewIvar>)
          .define();
}

void defineIOS9() {
  host::RuntimeClass("MusicNowPlayingItemViewController", "UIViewController")
      .objectIvar(kVideoViewControllerIvar)
      .define();
  videoControllerClass =
      host::RuntimeClass("MusicNowPlayingVideoViewController", "UIViewController")
          .method("viewDidAppear:", &videoControllerViewDidAppear)
          .define();
  nowPlayingControllerClass =
      host::RuntimeClass("MusicNowPlayingViewController", "UIViewController")
          .objectIvar(kCurrentItemViewControllerIvar)
          .method("_updateNowPlayingInfo", &nowPlayingUpdateNowPlayingInfo)
          .method("viewDidLoad", &nowPlayingViewDidLoad)
          .method("viewDidAppear:", &nowPlayingViewDidAppear)
          .method("viewDidDisappear:", &nowPlayingViewDidDisappear)
          .method("currentItemViewController", &host::ivarGetter<kCurrentItemViewControllerIvar>)
          .define();
}

const char* nowPlayingClassName() {
  return hostGeneration == host::kOlderGeneration ? "MusicNowPlayingViewController"
                                                  : "MusicNowPlayingControlsViewController";
}

}  // namespace

void defineClasses(int generation) {
  hostGeneration = generation;
  if (generation == host::kOlderGeneration)
    defineIOS9();
  else
    defineIOS10();
}

void showNowPlaying() {
  if (nowPlaying) return;
  nowPlaying = adopt(host::newInstance(nowPlayingClassName()));
  msgSend<id>(nowPlaying.get(), "view");
  msgSend<void>(nowPlaying.get(), "viewDidAppear:", true);
}

void hideNowPlaying() {
  if (!nowPlaying) return;
  msgSend<void>(nowPlaying.get(), "viewDidDisappear:", true);
  nowPlaying = nullptr;
}

void startVideo() {
  if (!nowPlaying) return;
  if (hostGeneration == host::kOlderGeneration) {
    auto video = adopt(host::newInstance("MusicNowPlayingVideoViewController"));
    id item = msgSend<id>(nowPlaying.get(), "currentItemViewController");
    host::setIvarObject(item, kVideoViewControllerIvar, video.get());
    msgSend<void>(video.get(), "viewDidAppear:", true);
    return;
  }
  id artwork = msgSend<id>(nowPlaying.get(), "artworkView");
  auto video = adopt(host::newView("Music.VideoView", 0, 0, 320, 180));
  host::setIvarObject(artwork, kVideoViewIvar, video.get());
  msgSend<void>(video.get(), "setVideoLayer:", msgSend<id>(video.get(), "layer"));
  msgSend<void>(video.get(), "layoutSubviews");
}

void changeItem() {
  if (nowPlaying && hostGeneration == host::kOlderGeneration)
    msgSend<void>(nowPlaying.get(), "_updateNowPlayingInfo");
}

}  // namespace music
