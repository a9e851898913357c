#include "SpotifyScreen.h"

#include <ColorFlow/ArtworkPalette.h>
#include <HostScreen/ArtworkImage.h>
#include <HostScreen/ScreenWatch.h>
#include <UIKit/UIColor.h>
#include <objc/StrongRef.h>

#include "SpotifyClasses.h"

namespace spotify {
namespace {

constexpr double kScreenWidth = 375;
constexpr double kScreenHeight = 667;

StrongRef<UIView> screen;
cg::ImageRef chosenCover;  // from a file; otherwise each track has its generated cover
cg::ImageRef trackCover;
unsigned trackIndex = 0;
UIView* placedController = nullptr;  // the controller view on screen (held by the screen)

cg::ImageRef currentCover() {
  if (chosenCover) return chosenCover;
  if (!trackCover) trackCover = screen::generatedCover(512, trackIndex);
  return trackCover;
}

StrongRef<UIColor> colourOf(const colorflow::PaletteColor& colour, float shade = 1) {
  return UIColor::colorWithRed(colour.red * shade, colour.green * shade, colour.blue * shade, 1);
}

// Spotify takes its player's colours from the cover: the icons the cover's most distinct colour,
// the play button's circle the next, the blurred background bands shades of all three.
void recolourFromCover() {
  cg::ImageRef cover = currentCover();
  const auto palette = colorflow::paletteFromArtwork(cover->rgba(), cover->width(), cover->height(),
                                                     cover->bytesPerRow());
  if (!palette) return;
  recolourControls({colourOf(palette->primary),
                    colourOf(palette->secondary),
                    {colourOf(palette->background), colourOf(palette->secondary, 0.5f),
                     colourOf(palette->primary, 0.4f), colourOf(palette->background, 0.6f),
                     colourOf(palette->primary, 0.2f)}});
}

void showCover() {
  if (UIView* view = coverArtView()) view->layer()->setContents(currentCover().get());
}

}  // namespace

UIView* spotifyScreen() {
  if (!screen) {
    screen = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
    screen->setBackgroundColor(UIColor::colorWithRed(0.07, 0.07, 0.07, 1).get());
    screen::watchScreen(screen.get());
  }
  return screen.get();
}

void setCoverArt(cg::ImageRef image) {
  chosenCover = std::move(image);
  trackCover = nullptr;
}

void bringNowPlayingOnScreen() {
  showNowPlaying();
  id controller = nowPlayingController();
  auto* view = controller != nullptr ? msgSend<UIView*>(controller, "view") : nullptr;
  if (view == nullptr) return;
  if (placedController != view) {
    view->setFrame(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
    spotifyScreen()->addSubview(view);
    placedController = view;
  }
  showCover();
  recolourFromCover();
}

void takeNowPlayingOffScreen() {
  hideNowPlaying();
  if (placedController != nullptr) placedController->removeFromSuperview();
  placedController = nullptr;
}

void playNextTrack() {
  ++trackIndex;
  trackCover = nullptr;
  chosenCover = nullptr;
  showCover();
  recolourFromCover();
}

unsigned currentTrack() {
  return trackIndex;
}

}  // namespace spotify
