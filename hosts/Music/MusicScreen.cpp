#include "MusicScreen.h"

#include <ColorFlow/ColorFlowNotifications.h>
#include <HostScreen/PlayerChrome.h>

#include "MusicClasses.h"

namespace music {
namespace {

using screen::Glyph;

constexpr double kRight = kArtworkLeft + kArtworkSide;
constexpr double kTitleTop = kArtworkTop + kArtworkSide + 14;
constexpr double kProgressTop = kTitleTop + 66;
constexpr double kControlsMiddle = kProgressTop + 68;
constexpr double kVolumeMiddle = kControlsMiddle + 54;

const CGColor kInk = CGColorMakeRGBA(0.08, 0.08, 0.10, 1);
const CGColor kAccent = CGColorMakeRGBA(0.98, 0.18, 0.33, 1);
const CGColor kQuiet = CGColorMakeRGBA(0.55, 0.55, 0.58, 1);
const CGColor kTrack = CGColorMakeRGBA(0.86, 0.86, 0.88, 1);

// The white card behind the player, its grabber and the screen's heading.
void drawCard(CALayer* layer) {
  const CGRect card = CGRectMake(10, 92, screen::kScreenWidth - 20, screen::kScreenHeight - 104);
  screen::addFilledShape(layer, screen::roundedRectPath(CGRectOffset(card, 0, 2), 20),
                         CGColorMakeRGBA(0, 0, 0, 0.06));
  screen::addFilledShape(layer, screen::roundedRectPath(card, 20), CGColorMakeRGBA(1, 1, 1, 1));
  screen::addFilledShape(
      layer, screen::roundedRectPath(CGRectMake(screen::kScreenWidth / 2 - 18, 102, 36, 5), 2.5),
      kTrack);
  screen::addTextLine(layer, CGRectMake(0, 48, screen::kScreenWidth, 24), 15, true, kInk,
                      kCAAlignmentCenter)
      ->setString("Now Playing");
}

// Previous and next (play-pause between them follows the audio), then the volume between its two
// speakers.
void drawControls(CALayer* layer) {
  const double middle = screen::kScreenWidth / 2;
  screen::addGlyph(layer, Glyph::previous, CGRectMake(middle - 98, kControlsMiddle - 16, 36, 32),
                   kInk);
  screen::addGlyph(layer, Glyph::next, CGRectMake(middle + 62, kControlsMiddle - 16, 36, 32), kInk);
  screen::addGlyph(layer, Glyph::speakerSoft, CGRectMake(kArtworkLeft, kVolumeMiddle - 8, 16, 16),
                   kQuiet);
  screen::addGlyph(layer, Glyph::speakerLoud, CGRectMake(kRight - 18, kVolumeMiddle - 9, 18, 18),
                   kQuiet);
  const double volumeLeft = kArtworkLeft + 26, volumeRight = kRight - 28;
  const double volume = volumeLeft + (volumeRight - volumeLeft) * 0.6;
  screen::addFilledShape(
      layer,
      screen::roundedRectPath(
          CGRectMake(volumeLeft, kVolumeMiddle - 2, volumeRight - volumeLeft, 4), 2),
      kTrack);
  screen::addFilledShape(
      layer,
      screen::roundedRectPath(CGRectMake(volumeLeft, kVolumeMiddle - 2, volume - volumeLeft, 4), 2),
      kQuiet);
  screen::addFilledShape(layer, screen::circlePath(CGPointMake(volume, kVolumeMiddle), 9),
                         CGColorMakeRGBA(0.78, 0.78, 0.80, 1));
  screen::addFilledShape(layer, screen::circlePath(CGPointMake(volume, kVolumeMiddle), 8),
                         CGColorMakeRGBA(1, 1, 1, 1));
}

// Everything drawn around the artwork, behind the now-playing controller's view, whose views
// (the artwork and what a tweak put over it) stay as the app made them.
screen::TrackChrome& chrome() {
  static screen::TrackChrome made(
      {{CGRectMake(kArtworkLeft, kTitleTop, kArtworkSide, 28), 20, true, kInk},
       {CGRectMake(kArtworkLeft, kTitleTop + 28, kArtworkSide, 24), 17, false, kAccent},
       CGRectMake(kArtworkLeft, kProgressTop, kArtworkSide, 24),
       {kTrack, kQuiet, kQuiet},
       CGRectMake(screen::kScreenWidth / 2 - 22, kControlsMiddle - 22, 44, 44),
       kInk},
      [](CALayer* layer) {
        drawCard(layer);
        drawControls(layer);
      });
  return made;
}

void showArtworkInView() {
  if (UIView* artwork = artworkView()) artwork->layer()->setContents(musicScreen().artwork().get());
}

}  // namespace

screen::AppScreen& musicScreen() {
  static screen::AppScreen screen(0.96, 0.95, 0.97);
  return screen;
}

void bringNowPlayingOnScreen() {
  showNowPlaying();
  if (nowPlayingController() == nullptr) return;
  musicScreen().place(nowPlayingController());
  if (chrome().view()->superview() == nullptr)
    musicScreen().root()->insertSubview(chrome().view(), 0);
  showArtworkInView();
  colorflow::postColorization(colorflow::Place::musicApp, musicScreen().artwork().get());
}

void takeNowPlayingOffScreen() {
  if (nowPlayingController() == nullptr) return;
  hideNowPlaying();
  musicScreen().place(nullptr);
  chrome().view()->removeFromSuperview();
  colorflow::postReversion(colorflow::Place::musicApp);
}

void showNextItem() {
  musicScreen().nextItem();
  nextItem();
  if (nowPlayingController() == nullptr) return;
  showArtworkInView();
  colorflow::postColorization(colorflow::Place::musicApp, musicScreen().artwork().get());
}

void showNowPlayingInfo(const control::NowPlayingInfo& info) {
  chrome().show(info);
}

}  // namespace music
