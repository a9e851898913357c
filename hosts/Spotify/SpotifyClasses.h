#pragma once
// Spotify's host classes: the now-playing carousel controller with its cover-art and blur
// controllers, and the player's previous-track and play buttons.

#include <UIKit/UIColor.h>
#include <UIKit/UIView.h>
#include <objc/StrongRef.h>

#include <cstddef>
#include <vector>

namespace spotify {

// The cover art's size and place on the screen, in points.
inline constexpr double kCoverArtSide = 320;
inline constexpr double kCoverArtLeft = 27.5;
inline constexpr double kCoverArtTop = 110;

// Where the player's previous-track and play buttons are, in the row of controls.
inline constexpr double kControlsMiddle = 590;
inline CGRect previousTrackButtonFrame() {
  return CGRectMake(375.0 / 2 - 90, kControlsMiddle - 22, 44, 44);
}
inline CGRect playButtonFrame() {
  return CGRectMake(375.0 / 2 - 32, kControlsMiddle - 32, 64, 64);
}

void defineClasses(int generation);

// The now-playing screen loads and comes on screen, or goes away.
void showNowPlaying();
void hideNowPlaying();
// The carousel controller on screen (no reference taken), or null.
id nowPlayingController();
// The cover art view and the blurred background image view; null while the screen is away.
UIView* coverArtView();
UIView* backgroundImageBlurView();

// The blurred background's layout: its number of subviews (five by default; another layout has
// three). Applies to the screen on show and from now on.
void setBlurLayout(std::size_t subviews);

// Spotify's own recolouring of the player for a track: the play button's circle (the button is
// made with the player's first colours), the blurred
// background's subviews (one colour each, repeated when there are fewer), then the previous-track
// button's icon through setIconColor:.
struct ControlColours {
  StrongRef<UIColor> icon;
  StrongRef<UIColor> circle;
  std::vector<StrongRef<UIColor>> background;
};
void recolourControls(const ControlColours& colours);

// The play button's glyph follows the audio's pause, now and from now on.
void showPaused(bool paused);

}  // namespace spotify
