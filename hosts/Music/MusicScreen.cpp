#include "MusicScreen.h"

#include <ColorFlow/ColorFlowNotifications.h>

#include "MusicClasses.h"

namespace music {
namespace {

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
  showArtworkInView();
  colorflow::postColorization(colorflow::Place::musicApp, musicScreen().artwork().get());
}

void takeNowPlayingOffScreen() {
  if (nowPlayingController() == nullptr) return;
  hideNowPlaying();
  musicScreen().place(nullptr);
  colorflow::postReversion(colorflow::Place::musicApp);
}

void showNextItem() {
  musicScreen().nextItem();
  nextItem();
  if (nowPlayingController() == nullptr) return;
  showArtworkInView();
  colorflow::postColorization(colorflow::Place::musicApp, musicScreen().artwork().get());
}

}  // namespace music
