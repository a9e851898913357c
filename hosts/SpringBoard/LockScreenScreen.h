#pragma once
// SpringBoard's lock screen as it is drawn: the background, the time and date, the now-playing
// artwork (the generation's artwork controller's view, showing the artwork picture) with the
// track's title and artist and the media controls under it, and whatever a tweak has put above the
// artwork. Main thread only.

#include <CoreGraphics/CGImage.h>
#include <HostControl/NowPlayingInfo.h>
#include <UIKit/UIView.h>

namespace springboard {

// Screen size, in points.
inline constexpr double kScreenWidth = 375;
inline constexpr double kScreenHeight = 667;

// The screen's root view.
UIView* lockScreen();

// The artwork picture shown from now on (null: the generated cover).
void setArtworkImage(cg::ImageRef image);

// Puts the current artwork controller's view on the screen with the artwork picture in it, or
// takes it off when there is no controller.
void placeNowPlayingArtwork();

// The playing track's title and artist, shown under the artwork, and its pause on the
// play-pause control.
void setNowPlayingInfo(const control::NowPlayingInfo& info);

}  // namespace springboard
