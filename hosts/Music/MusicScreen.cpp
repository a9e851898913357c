#include "MusicScreen.h"

#include <ColorFlow/ColorFlowNotifications.h>
#include <HostScreen/ArtworkImage.h>
#include <HostScreen/ScreenWatch.h>
#include <UIKit/UIColor.h>
#include <objc/StrongRef.h>

#include "MusicClasses.h"

namespace music {
namespace {

StrongRef<UIView> screen;
cg::ImageRef chosenArtwork;  // from a file; otherwise each item has its generated cover
cg::ImageRef itemArtwork;
UIView* placedController = nullptr;  // the controller view on screen (held by the screen)

void showArtworkInView() {
  if (UIView* artwork = artworkView()) artwork->layer()->setContents(currentArtwork().get());
}

}  // namespace

UIView* musicScreen() {
  if (!screen) {
    screen = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
    screen->setBackgroundColor(UIColor::colorWithRed(0.96, 0.95, 0.97, 1).get());
    screen::watchScreen(screen.get());
  }
  return screen.get();
}

void setArtworkImage(cg::ImageRef image) {
  chosenArtwork = std::move(image);
  itemArtwork = nullptr;
}

cg::ImageRef currentArtwork() {
  if (chosenArtwork) return chosenArtwork;
  if (!itemArtwork) itemArtwork = screen::generatedCover(512, currentItem());
  return itemArtwork;
}

void bringNowPlayingOnScreen() {
  showNowPlaying();
  id controller = nowPlayingController();
  auto* view = controller != nullptr ? msgSend<UIView*>(controller, "view") : nullptr;
  if (view == nullptr) return;
  if (placedController != view) {
    view->setFrame(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
    musicScreen()->addSubview(view);
    placedController = view;
  }
  showArtworkInView();
  colorflow::postColorization(colorflow::Place::musicApp, currentArtwork().get());
}

void takeNowPlayingOffScreen() {
  if (nowPlayingController() == nullptr) return;
  hideNowPlaying();
  if (placedController != nullptr) placedController->removeFromSuperview();
  placedController = nullptr;
  colorflow::postReversion(colorflow::Place::musicApp);
}

void showNextItem() {
  itemArtwork = nullptr;
  chosenArtwork = nullptr;
  nextItem();
  if (nowPlayingController() == nullptr) return;
  showArtworkInView();
  colorflow::postColorization(colorflow::Place::musicApp, currentArtwork().get());
}

}  // namespace music
