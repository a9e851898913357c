#include "LockScreenScreen.h"

#include <ColorFlow/ColorFlowNotifications.h>
#include <HostCommon/RuntimeClass.h>
#include <HostScreen/ArtworkImage.h>
#include <HostScreen/ScreenWatch.h>
#include <QuartzCore/CAGradientLayer.h>
#include <UIKit/UIKit.h>
#include <objc/StrongRef.h>

#include "SpringBoardClasses.h"

namespace springboard {
namespace {

constexpr double kArtworkSide = 320;
constexpr double kArtworkTop = 170;

StrongRef<UIView> screen;
cg::ImageRef artworkImage;
UIView* placedArtwork = nullptr;  // the controller view on screen (held by the screen)

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

}  // namespace springboard
