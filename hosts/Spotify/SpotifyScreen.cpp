#include "SpotifyScreen.h"

#include <ColorFlow/ArtworkPalette.h>
#include <HostScreen/ArtworkImage.h>
#include <HostScreen/PlayerChrome.h>
#include <QuartzCore/CAGradientLayer.h>
#include <UIKit/UIColor.h>

#include <optional>

#include "SpotifyClasses.h"

namespace spotify {
namespace {

using screen::Glyph;

constexpr double kTitleTop = kCoverArtTop + kCoverArtSide + 22;
constexpr double kProgressTop = kTitleTop + 62;
constexpr double kSideCoverSide = 280;
constexpr double kSideCoverGap = 12;

const CGColor kWhite = CGColorMakeRGBA(1, 1, 1, 1);
const CGColor kDim = CGColorMakeRGBA(0.70, 0.70, 0.70, 1);
const CGColor kTrack = CGColorMakeRGBA(1, 1, 1, 0.25);

// The header, over the carousel: where the track plays from.
void drawHeader(CALayer* layer) {
  screen::addTextLine(layer, CGRectMake(0, 40, screen::kScreenWidth, 16), 11, false, kDim,
                      kCAAlignmentCenter)
      ->setString("PLAYING FROM ARTIST");
}

// Shuffle, next and repeat, beside the previous-track and play buttons.
void drawControls(CALayer* layer) {
  const double middle = screen::kScreenWidth / 2;
  screen::addGlyph(layer, Glyph::shuffle, CGRectMake(kCoverArtLeft, kControlsMiddle - 12, 24, 24),
                   kDim);
  screen::addGlyph(layer, Glyph::next, CGRectMake(middle + 54, kControlsMiddle - 14, 32, 28),
                   kWhite);
  screen::addGlyph(layer, Glyph::repeat,
                   CGRectMake(kCoverArtLeft + kCoverArtSide - 24, kControlsMiddle - 12, 24, 24),
                   kDim);
}

// Everything Spotify draws around its own views, above the carousel controller's view but clear
// of the cover art and the two buttons (which draw their own glyphs in their colours): the header
// with the artist played from, the neighbouring covers of the carousel, the track's lines, its
// progress and the other controls. The views Spotify made stay as they are.
struct Chrome {
  Chrome()
      : track({{CGRectMake(kCoverArtLeft, kTitleTop, kCoverArtSide, 28), 21, true, kWhite},
               {CGRectMake(kCoverArtLeft, kTitleTop + 28, kCoverArtSide, 22), 15, false, kDim},
               CGRectMake(kCoverArtLeft, kProgressTop, kCoverArtSide, 24),
               {kTrack, kWhite, kDim},
               CGRect{},  // the play button draws its own glyph
               {}},
              [](CALayer* layer) {
                drawHeader(layer);
                drawControls(layer);
              }) {
    CALayer* layer = track.layer();
    source = screen::addTextLine(layer, CGRectMake(40, 58, screen::kScreenWidth - 80, 20), 14, true,
                                 kWhite, kCAAlignmentCenter);
    const double top = kCoverArtTop + (kCoverArtSide - kSideCoverSide) / 2;
    const double lefts[2] = {kCoverArtLeft - kSideCoverGap - kSideCoverSide,
                             kCoverArtLeft + kCoverArtSide + kSideCoverGap};
    for (int i = 0; i < 2; ++i) {
      covers[i] = CALayer::layer();
      covers[i]->setOpacity(0.55f);
      covers[i]->setFrame(CGRectMake(lefts[i], top, kSideCoverSide, kSideCoverSide));
      layer->addSublayer(covers[i].get());
    }
  }

  screen::TrackChrome track;
  StrongRef<CATextLayer> source;
  StrongRef<CALayer> covers[2];  // the previous and the next track's
};

Chrome& chrome() {
  static Chrome made;
  return made;
}

// The blurred background darkens towards the controls, as Spotify's does: a gradient over the
// bands, inside the background view (its subviews stay the bands alone).
void darkenBackground() {
  UIView* blurView = backgroundImageBlurView();
  UIView* background = blurView != nullptr ? blurView->superview() : nullptr;
  if (background == nullptr || background->layer()->sublayers().size() > 1) return;
  auto shade = CAGradientLayer::layer();
  shade->setFrame(background->bounds());
  const CGColor top = CGColorMakeRGBA(0.02, 0.02, 0.02, 0.30);
  const CGColor bottom = CGColorMakeRGBA(0.07, 0.07, 0.07, 0.94);
  shade->setColors({&top, &bottom});
  shade->setStartPoint(CGPointMake(0.5, 0));
  shade->setEndPoint(CGPointMake(0.5, 0.75));
  background->layer()->addSublayer(shade.get());
}

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
  const unsigned item = spotifyScreen().item();
  chrome().covers[0]->setContents(item > 0 ? screen::generatedCover(256, item - 1).get() : nullptr);
  chrome().covers[1]->setContents(screen::generatedCover(256, item + 1).get());
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
  darkenBackground();
  if (chrome().track.view()->superview() == nullptr)
    spotifyScreen().root()->addSubview(chrome().track.view());
  showCover();
}

void takeNowPlayingOffScreen() {
  hideNowPlaying();
  spotifyScreen().place(nullptr);
  chrome().track.view()->removeFromSuperview();
}

void playNextTrack() {
  spotifyScreen().nextItem();
  if (nowPlayingController() != nullptr) showCover();
}

void showNowPlayingInfo(const control::NowPlayingInfo& info) {
  chrome().source->setString(info.artist);
  chrome().track.show(info);
  showPaused(info.paused);
}

}  // namespace spotify
