#include "SpotifyClasses.h"

#include <HostCommon/RuntimeClass.h>
#include <HostScreen/PlayerChrome.h>

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

constexpr double kScreenWidth = 375;
constexpr double kScreenHeight = 667;

constinit Class carouselClass = nullptr;
constinit Class playButtonClass = nullptr;
constinit std::size_t blurSubviews = 5;
constinit bool audioPaused = false;
StrongRef<NSObject> nowPlaying;

StrongRef<NSObject> adopt(id object) {
  return StrongRef<NSObject>::adopt(object);
}

// The blurred background's subviews: horizontal bands over its height, `count` of them.
void layOutBlurView(UIView* blurView, std::size_t count) {
  while (!blurView->subviews().empty()) blurView->subviews().back()->removeFromSuperview();
  const CGRect bounds = blurView->bounds();
  const double band = bounds.size.height / static_cast<double>(count);
  for (std::size_t i = 0; i < count; ++i) {
    auto stripe =
        adopt(host::newView("UIView", 0, band * static_cast<double>(i), bounds.size.width, band));
    blurView->addSubview(objc::cast<UIView>(stripe.get()));
  }
}

id controlOf(const char* ivar) {
  return host::ivarObject(nowPlaying.get(), ivar);
}

// ---- SPTNowPlayingCarouselAreaViewController ---------------------------------------------------

void carouselViewDidLoad(id self, SEL cmd) {
  host::callSuper<void>(carouselClass, self, cmd);
  id view = msgSend<id>(self, "view");

  auto blur = adopt(host::newInstance("SPTNowPlayingBlurController"));
  auto background =
      adopt(host::newView("SPTNowPlayingBackgroundView", 0, 0, kScreenWidth, kScreenHeight));
  auto blurView = adopt(host::newView("UIView", 0, 0, kScreenWidth, kScreenHeight));
  layOutBlurView(objc::cast<UIView>(blurView.get()), blurSubviews);
  msgSend<void>(background.get(), "addSubview:", blurView.get());
  host::setIvarObject(background.get(), kBackgroundImageBlurViewIvar, blurView.get());
  host::setIvarObject(blur.get(), kBackgroundViewIvar, background.get());
  host::setIvarObject(self, kBlurControllerIvar, blur.get());
  msgSend<void>(view, "addSubview:", background.get());

  auto coverArt = adopt(host::newInstance("SPTNowPlayingCoverArtController"));
  auto coverArtView =
      adopt(host::newView("UIView", kCoverArtLeft, kCoverArtTop, kCoverArtSide, kCoverArtSide));
  host::setIvarObject(coverArt.get(), kCoverArtViewIvar, coverArtView.get());
  host::setIvarObject(self, kCoverArtControllerIvar, coverArt.get());
  msgSend<void>(view, "addSubview:", coverArtView.get());

  const CGRect button = previousTrackButtonFrame();
  auto previous = adopt(host::newView("SPTNowPlayingPreviousTrackButton", button.origin.x,
                                      button.origin.y, button.size.width, button.size.height));
  host::setIvarObject(self, kPreviousTrackButtonIvar, previous.get());
  msgSend<void>(view, "addSubview:", previous.get());
}

// The play button comes with the player's first colours.
id playButton() {
  if (id button = host::ivarObject(nowPlaying.get(), kPlayButtonIvar)) return button;
  const CGRect frame = playButtonFrame();
  auto play = adopt(host::newView("SPTNowPlayingPlayButton", frame.origin.x, frame.origin.y,
                                  frame.size.width, frame.size.height));
  host::setIvarObject(nowPlaying.get(), kPlayButtonIvar, play.get());
  msgSend<void>(msgSend<id>(nowPlaying.get(), "view"), "addSubview:", play.get());
  return play.get();
}

void carouselViewDidAppear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(carouselClass, self, cmd, animated);
}

void carouselViewDidDisappear(id self, SEL cmd, BOOL animated) {
  host::callSuper<void>(carouselClass, self, cmd, animated);
}

// ---- The player's buttons: each draws its glyph in its colour -----------------------------------

// The button's own drawing: shape layers inside its layer (no subviews), made at the first colour.
CAShapeLayer* drawingOf(UIView* button, std::size_t index) {
  CALayer* layer = button->layer();
  while (layer->sublayers().size() <= index) {
    auto shape = CAShapeLayer::layer();
    layer->addSublayer(shape.get());
  }
  return objc::cast<CAShapeLayer>(layer->sublayers()[index].get());
}

void fill(CAShapeLayer* shape, const cg::PathRef& path, CGColorRef colour) {
  if (shape == nullptr) return;
  shape->setPath(path.get());
  shape->setFillColor(colour);
}

void previousTrackSetIconColor(id self, SEL, id color) {
  host::setIvarObject(self, kIconColorIvar, color);
  auto* button = objc::cast<UIView>(self);
  const CGRect bounds = button->bounds();
  fill(drawingOf(button, 0), screen::glyphPath(screen::Glyph::previous, CGRectInset(bounds, 8, 8)),
       CGColorOf(objc::cast<UIColor>(color)));
}

// The play button's glyph, over its circle: play while the audio is paused, else pause.
void drawPlayPause(UIView* button) {
  const CGColor glyph = CGColorMakeRGBA(0.07, 0.07, 0.07, 1);
  fill(
      drawingOf(button, 1),
      screen::glyphPath(screen::playPauseGlyph(audioPaused), CGRectInset(button->bounds(), 20, 20)),
      &glyph);
}

id playButtonInitWithFrame(id self, SEL cmd, CGRect frame) {
  return host::callSuper<id>(playButtonClass, self, cmd, frame);
}

void playButtonSetCircleColor(id self, SEL, id color) {
  host::setIvarObject(self, kCircleColorIvar, color);
  auto* button = objc::cast<UIView>(self);
  const CGRect bounds = button->bounds();
  fill(drawingOf(button, 0),
       screen::circlePath(CGPointMake(CGRectGetMidX(bounds), CGRectGetMidY(bounds)),
                          bounds.size.width / 2),
       CGColorOf(objc::cast<UIColor>(color)));
  drawPlayPause(button);
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
                        .method("setCircleColor:", &playButtonSetCircleColor)
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
}

void hideNowPlaying() {
  if (!nowPlaying) return;
  msgSend<void>(nowPlaying.get(), "viewDidDisappear:", true);
  nowPlaying = nullptr;
}

id nowPlayingController() {
  return nowPlaying.get();
}

UIView* coverArtView() {
  return objc::cast<UIView>(
      host::ivarObject(controlOf(kCoverArtControllerIvar), kCoverArtViewIvar));
}

UIView* backgroundImageBlurView() {
  id background = host::ivarObject(controlOf(kBlurControllerIvar), kBackgroundViewIvar);
  return objc::cast<UIView>(host::ivarObject(background, kBackgroundImageBlurViewIvar));
}

void setBlurLayout(std::size_t subviews) {
  blurSubviews = subviews;
  if (UIView* blurView = backgroundImageBlurView()) layOutBlurView(blurView, subviews);
}

void showPaused(bool paused) {
  audioPaused = paused;
  if (auto* button = objc::cast<UIView>(controlOf(kPlayButtonIvar))) drawPlayPause(button);
}

void recolourControls(const ControlColours& colours) {
  if (!nowPlaying) return;
  msgSend<void>(playButton(), "setCircleColor:", static_cast<id>(colours.circle.get()));
  if (UIView* blurView = backgroundImageBlurView(); blurView && !colours.background.empty()) {
    const auto& stripes = blurView->subviews();
    for (std::size_t i = 0; i < stripes.size(); ++i)
      stripes[i]->setBackgroundColor(colours.background[i % colours.background.size()].get());
  }
  msgSend<void>(controlOf(kPreviousTrackButtonIvar),
                "setIconColor:", static_cast<id>(colours.icon.get()));
}

}  // namespace spotify
