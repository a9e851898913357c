#include "SpotifyClasses.h"

#include <HostCommon/RuntimeClass.h>
#include <objc/StrongRef.h>

namespace spotify {
namespace {

constexpr char kCoverArtControllerIvar[] = "_coverArtController";
constexpr char kCoverArtViewIvar[] = "_coverArtView";
constexpr char kBlurControllerIvar[] = "_blurController";
constexpr char kBackgroundViewIvar[] = "_backgroundView";
constexpr char kBackgroundImageBlurViewIvar[] = "_backgroundImageBlurView";
constexpr char kPreviousTrackButtonIvar[] = "_previousTrackButton";
constexpr char kPlayButtonIvar[] = "_playButton";
constexpr char kIconColorIvar[] = "_iconColor";
constexpr char kCircleColorIvar[] = "_circleColor";

constinit Class carouselClass = nullptr;
constinit Class playButtonClass = nullptr;
StrongRef<NSObject> nowPlaying;

StrongRef<NSObject> adopt(id object) {
  return StrongRef<NSObject>::adopt(object);
}

// ---- SPTNowPlayingCarouselAreaViewController ---------------------------------------------------

void carouselViewDidLoad(id self, SEL cmd) {
  host::callSuper<void>(carouselClass, self, cmd);
  id view = msgSend<id>(self, "view");

  auto coverArt = adopt(host::newInstance("SPTNowPlayingCoverArtController"));
  auto coverArtView = adopt(host::newView("UIView", 0, 0, 320, 320));
  host::setIvarObject(coverArt.get(), kCoverArtViewIvar, coverArtView.get());
  host::setIvarObject(self, kCoverArtControllerIvar, coverArt.get());
  msgSend<void>(view, "addSubview:", coverArtView.get());

  auto blur = adopt(host::newInstance("SPTNowPlayingBlurController"));
  auto background = adopt(host::newView("SPTNowPlayingBackgroundView", 0, 0, 320, 568));
  auto blurView = adopt(host::newView("UIView", 0, 0, 320, 568));
  host::setIvarObject(background.get(), kBackgroundImageBlurViewIvar, blurView.get());
  host::setIvarObject(blur.get(), kBackgroundViewIvar, background.get());
  host::setIvarObject(self, kBlurControllerIvar, blur.get());

  auto previous = adopt(host::newView("SPTNowPlayingPreviousTrackButton", 40, 480, 44, 44));
  auto play = adopt(host::newView("SPTNowPlayingPlayButton", 138, 470, 64, 64));
  host::setIvarObject(self, kPreviousTrackButtonIvar, previous.get());
  host::setIvarObject(self, kPlayButtonIvar, play.get());
  msgSend<void>(view, "addSubview:", previous.get());
  msgSend<void>(view, "addSubview:", play.get());
}

void carouselViewDidAppear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(carouselClass, self, cmd, animated);
}

void carouselViewDidDisappear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(carouselClass, self, cmd, animated);
}

// ---- The player's buttons ----------------------------------------------------------------------

void previousTrackSetIconColor(id self, SEL, id color) {
  host::setIvarObject(self, kIconColorIvar, color);
}

id playButtonInitWithFrame(id self, SEL cmd, CGRect frame) {
  return host::callSuper<id>(playButtonClass, self, cmd, frame);
}

}  // namespace

void defineClasses(int) {
  host::RuntimeClass("SPTNowPlayingCoverArtController", "NSObject")
      .objectIvar(kCoverArtViewIvar)
      .method("coverArtView", &host::ivarGetter<kCoverArtViewIvar>)
      .define();
  host::RuntimeClass("SPTNowPlayingBackgroundView", "UIView")
      .objectIvar(kBackgroundImageBlurViewIvar)
      .method("backgroundImageBlurView", &host::ivarGetter<kBackgroundImageBlurViewIvar>)
      .define();
  host::RuntimeClass("SPTNowPlayingBlurController", "NSObject")
      .objectIvar(kBackgroundViewIvar)
      .method("backgroundView", &host::ivarGetter<kBackgroundViewIvar>)
      .define();
  host::RuntimeClass("SPTNowPlayingPreviousTrackButton", "UIView")
      .objectIvar(kIconColorIvar)
      .method("setIconColor:", &previousTrackSetIconColor)
      .method("iconColor", &host::ivarGetter<kIconColorIvar>)
      .define();
  playButtonClass = host::RuntimeClass("SPTNowPlayingPlayButton", "UIView")
                        .objectIvar(kCircleColorIvar)
                        .method("initWithFrame:", &playButtonInitWithFrame)
                        .method("circleColor", &host::ivarGetter<kCircleColorIvar>)
                        .method("setCircleColor:", &host::ivarSetter<kCircleColorIvar>)
                        .define();
  carouselClass = host::RuntimeClass("SPTNowPlayingCarouselAreaViewController", "UIViewController")
                      .objectIvar(kCoverArtControllerIvar)
                      .objectIvar(kBlurControllerIvar)
                      .objectIvar(kPreviousTrackButtonIvar)
                      .objectIvar(kPlayButtonIvar)
                      .method("viewDidLoad", &carouselViewDidLoad)
                      .method("viewDidAppear:", &carouselViewDidAppear)
                      .method("viewDidDisappear:", &carouselViewDidDisappear)
                      .method("coverArtController", &host::ivarGetter<kCoverArtControllerIvar>)
                      .method("blurController", &host::ivarGetter<kBlurControllerIvar>)
                      .define();
}

void showNowPlaying() {
  if (nowPlaying) return;
  nowPlaying = adopt(host::newInstance("SPTNowPlayingCarouselAreaViewController"));
  msgSend<id>(nowPlaying.get(), "view");
  msgSend<void>(nowPlaying.get(), "viewDidAppear:", true);
  recolourControls();
}

void hideNowPlaying() {
  if (!nowPlaying) return;
  msgSend<void>(nowPlaying.get(), "viewDidDisappear:", true);
  nowPlaying = nullptr;
}

void recolourControls() {
  if (!nowPlaying) return;
  id previous = host::ivarObject(nowPlaying.get(), kPreviousTrackButtonIvar);
  msgSend<void>(previous, "setIconColor:", host::ivarObject(previous, kIconColorIvar));
}

}  // namespace spotify
