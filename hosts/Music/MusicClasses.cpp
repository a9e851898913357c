#include "MusicClasses.h"

#include <HostCommon/RuntimeClass.h>
#include <HostCommon/SystemVersion.h>
#include <UIKit/UIColor.h>
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

bool olderGeneration() {
  return hostGeneration == host::kOlderGeneration;
}

StrongRef<NSObject> adopt(id object) {
  return StrongRef<NSObject>::adopt(object);
}

UIView* viewOf(id controller) {
  return controller != nullptr ? msgSend<UIView*>(controller, "view") : nullptr;
}

// A video picture: black, as a video layer is before its first frame.
void paintAsVideo(UIView* view) {
  if (view != nullptr) view->setBackgroundColor(UIColor::blackColor());
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
  auto artwork = adopt(host::newView("Music.ArtworkComponentImageView", kArtworkLeft, kArtworkTop,
                                     kArtworkSide, kArtworkSide));
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
  // A new item gets a controller (and view) of its own, in place of the previous one's.
  UIView* screen = viewOf(self);
  if (UIView* previous = viewOf(host::ivarObject(self, kCurrentItemViewControllerIvar)))
    previous->removeFromSuperview();
  auto item = adopt(host::newInstance("MusicNowPlayingItemViewController"));
  UIView* itemView = viewOf(item.get());
  itemView->setFrame(CGRectMake(kArtworkLeft, kArtworkTop, kArtworkSide, kArtworkSide));
  screen->addSubview(itemView);
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
  return olderGeneration() ? "MusicNowPlayingViewController"
                           : "MusicNowPlayingControlsViewController";
}

id currentItemController() {
  return host::ivarObject(nowPlaying.get(), kCurrentItemViewControllerIvar);
}

// The video on screen now: iOS 10 the artwork's video view, iOS 9 the item's video view.
UIView* videoOnScreen() {
  if (olderGeneration())
    return viewOf(host::ivarObject(currentItemController(), kVideoViewControllerIvar));
  return objc::cast<UIView>(host::ivarObject(artworkView(), kVideoViewIvar));
}

}  // namespace

void defineClasses(int generation) {
  hostGeneration = generation;
  if (olderGeneration())
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

id nowPlayingController() {
  return nowPlaying.get();
}

UIView* artworkView() {
  if (!nowPlaying) return nullptr;
  if (olderGeneration()) return viewOf(currentItemController());
  return objc::cast<UIView>(host::ivarObject(nowPlaying.get(), kArtworkViewIvar));
}

bool startVideo() {
  UIView* artwork = artworkView();
  if (artwork == nullptr) return false;
  const CGRect bounds = artwork->bounds();
  if (olderGeneration()) {
    auto video = adopt(host::newInstance("MusicNowPlayingVideoViewController"));
    UIView* view = viewOf(video.get());
    view->setFrame(bounds);
    paintAsVideo(view);
    artwork->addSubview(view);
    host::setIvarObject(currentItemController(), kVideoViewControllerIvar, video.get());
    msgSend<void>(video.get(), "viewDidAppear:", true);
    return true;
  }
  if (UIView* old = videoOnScreen()) old->removeFromSuperview();
  auto video = adopt(host::newView("Music.VideoView", 0, 0, bounds.size.width, bounds.size.height));
  host::setIvarObject(artwork, kVideoViewIvar, video.get());
  msgSend<void>(video.get(), "setVideoLayer:", msgSend<id>(video.get(), "layer"));
  paintAsVideo(objc::cast<UIView>(video.get()));
  artwork->addSubview(objc::cast<UIView>(video.get()));
  msgSend<void>(video.get(), "layoutSubviews");
  return true;
}

bool stopVideo() {
  UIView* video = videoOnScreen();
  if (video == nullptr || video->isHidden()) return false;
  video->setHidden(true);
  return true;
}

void nextItem() {
  if (nowPlaying && olderGeneration()) msgSend<void>(nowPlaying.get(), "_updateNowPlayingInfo");
}

}  // namespace music
