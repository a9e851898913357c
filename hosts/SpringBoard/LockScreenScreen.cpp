#include "LockScreenScreen.h"

#include <ColorFlow/ColorFlowNotifications.h>
#include <CoreFoundation/CFRunLoop.h>
#include <HostCommon/RuntimeClass.h>
#include <HostScreen/ArtworkImage.h>
#include <HostScreen/PlayerChrome.h>
#include <HostScreen/ScreenWatch.h>
#include <QuartzCore/CAGradientLayer.h>
#include <QuartzCore/CATextLayer.h>
#include <UIKit/UIKit.h>
#include <objc/StrongRef.h>

#include <cmath>
#include <ctime>
#include <optional>

#include "SpringBoardClasses.h"

namespace springboard {
namespace {

constexpr double kArtworkSide = 320;
constexpr double kArtworkTop = 170;
constexpr double kControlsMiddle = 606;

StrongRef<UIView> screen;
cg::ImageRef artworkImage;
UIView* placedArtwork = nullptr;  // the controller view on screen (held by the screen)
StrongRef<CATextLayer> clockLine, dateLine, titleLine, artistLine;
std::optional<screen::PlayPauseGlyph> playPause;

StrongRef<CATextLayer> addLine(double top, double height, CGFloat size, bool bold, double grey) {
  auto line = CATextLayer::layer();
  line->setFrame(CGRectMake(16, top, kScreenWidth - 32, height));
  line->setFontSize(size);
  line->setBold(bold);
  const CGColor colour = CGColorMakeRGBA(grey, grey, grey, 1);
  line->setForegroundColor(&colour);
  line->setAlignmentMode(kCAAlignmentCenter);
  screen->layer()->addSublayer(line.get());
  return line;
}

// The clock, as the lock screen shows it: "09:41" and "Tuesday, 8 December".
void showTime(CFRunLoopTimerRef, void*) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%H:%M", &local);
  if (clockLine->string() != text) clockLine->setString(text);
  std::strftime(text, sizeof text, "%A, %-d %B", &local);
  if (dateLine->string() != text) dateLine->setString(text);
}

void buildScreen() {
  screen = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
  auto wallpaper = CAGradientLayer::layer();
  wallpaper->setFrame(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
  const CGColor top = CGColorMakeRGBA(0.10, 0.12, 0.22, 1);
  const CGColor bottom = CGColorMakeRGBA(0.02, 0.02, 0.05, 1);
  wallpaper->setColors({&top, &bottom});
  wallpaper->setStartPoint(CGPointMake(0.5, 0));
  wallpaper->setEndPoint(CGPointMake(0.5, 1));
  screen->layer()->addSublayer(wallpaper.get());
  screen::watchScreen(screen.get());
  clockLine = addLine(52, 80, 72, false, 1.0);
  dateLine = addLine(132, 26, 18, false, 0.85);
  titleLine = addLine(kArtworkTop + kArtworkSide + 18, 28, 20, true, 1.0);
  artistLine = addLine(kArtworkTop + kArtworkSide + 48, 24, 17, false, 0.72);
  // The media controls under the track: previous, play-pause (following the audio), next.
  const CGColor controls = CGColorMakeRGBA(0.95, 0.95, 0.95, 1);
  const double middle = kScreenWidth / 2;
  screen::addGlyph(screen->layer(), screen::Glyph::previous,
                   CGRectMake(middle - 98, kControlsMiddle - 16, 36, 32), controls);
  playPause.emplace(screen->layer(), CGRectMake(middle - 22, kControlsMiddle - 22, 44, 44),
                    controls);
  screen::addGlyph(screen->layer(), screen::Glyph::next,
                   CGRectMake(middle + 62, kControlsMiddle - 16, 36, 32), controls);
  showTime(nullptr, nullptr);
  // The clock shows minutes: it is looked at just after each minute begins, and within a second
  // of that rides on whatever else wakes SpringBoard rather than waking it on its own.
  constexpr double kMinute = 60;
  const CFAbsoluteTime nextMinute =
      (std::floor(CFAbsoluteTimeGetCurrent() / kMinute) + 1) * kMinute + 0.05;
  CFRunLoopTimerContext context{};
  CFRunLoopTimerRef clock =
      CFRunLoopTimerCreate(nullptr, nextMinute, kMinute, 0, 0, &showTime, &context);
  CFRunLoopTimerSetTolerance(clock, 1);
  CFRunLoopAddTimer(CFRunLoopGetMain(), clock, kCFRunLoopCommonModes);
}

// The view that shows the artwork picture: iOS 10's artwork view, or iOS 9's art view's
// artwork view.
CALayer* artworkLayerOf(id controller) {
  id artwork = host::ivarObject(controller, "_artworkView");
  if (artwork == nullptr) {
    id artView = host::ivarObject(controller, "_artView");
    artwork = host::ivarObject(artView, "_artworkView");
  }
  auto* view = objc::cast<UIView>(artwork);
  return view != nullptr ? view->layer() : nullptr;
}

}  // namespace

UIView* lockScreen() {
  if (!screen) buildScreen();
  return screen.get();
}

void setArtworkImage(cg::ImageRef image) {
  artworkImage = std::move(image);
  placeNowPlayingArtwork();
}

void placeNowPlayingArtwork() {
  UIView* root = lockScreen();
  id controller = nowPlayingArtworkController();
  auto* view = controller != nullptr ? msgSend<UIView*>(controller, "view") : nullptr;
  if (placedArtwork != nullptr && placedArtwork != view) {
    placedArtwork->removeFromSuperview();
    placedArtwork = nullptr;
    colorflow::postReversion(colorflow::Place::lockScreen);
  }
  if (view == nullptr) return;
  if (placedArtwork != view) {
    view->setFrame(
        CGRectMake((kScreenWidth - kArtworkSide) / 2, kArtworkTop, kArtworkSide, kArtworkSide));
    root->addSubview(view);
    placedArtwork = view;
  }
  if (!artworkImage) artworkImage = screen::generatedCover();
  CALayer* layer = artworkLayerOf(controller);
  if (layer == nullptr || layer->contents() == artworkImage.get()) return;
  layer->setContents(artworkImage.get());
  colorflow::postColorization(colorflow::Place::lockScreen, artworkImage.get());
}

void setNowPlayingInfo(const control::NowPlayingInfo& info) {
  lockScreen();
  titleLine->setString(info.title);
  artistLine->setString(info.artist);
  playPause->show(info.paused);
}

}  // namespace springboard
