#include "SpotifyScreen.h"

#include <ColorFlow/ArtworkPalette.h>
#include <UIKit/UIColor.h>

#include "SpotifyClasses.h"

namespace spotify {
namespace {

StrongRef<UIColor> colourOf(const colorflow::PaletteColor& colour, float shade = 1) {
  return UIColor::colorWithRed(colour.red * shade, colour.green * shade, colour.blue * shade, 1);
}

// Spotify takes its player's colours from the cover: the icons the cover's most distinct colour,
// the play button's circle the next, the blurred background bands shades of all three.
void recolourFromCover() {
  cg::ImageRef cover = spotifyScreen().artwork();
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
  if (UIView* view = coverArtView()) view->layer()->setContents(spotifyScreen().artwork().get());
  recolourFromCover();
}

}  // namespace

screen::AppScreen& spotifyScreen() {
  static screen::AppScreen screen(0.07, 0.07, 0.07);
  return screen;
}

void bringNowPlayingOnScreen() {
  showNowPlaying();
  if (nowPlayingController() == nullptr) return;
  spotifyScreen().place(nowPlayingController());
  showCover();
}

void takeNowPlayingOffScreen() {
  hideNowPlaying();
  spotifyScreen().place(nullptr);
}

void playNextTrack() {
  spotifyScreen().nextItem();
  if (nowPlayingController() != nullptr) showCover();
}

}  // namespace spotify
