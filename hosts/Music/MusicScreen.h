#pragma once
// The Music app's now-playing screen as it is drawn: a background, the now-playing controller's
// view with the current item's artwork, and whatever a tweak has put over the artwork. ColorFlow
// is on this phone: the artwork's colours are announced when it appears or changes, and their
// reversion when it goes away. Main thread only.

#include <CoreGraphics/CGImage.h>
#include <UIKit/UIView.h>

namespace music {

inline constexpr double kScreenWidth = 375;
inline constexpr double kScreenHeight = 667;

// The screen's root view (watched for the frames it commits).
UIView* musicScreen();

// The artwork shown from now on (null: the generated cover of the current item).
void setArtworkImage(cg::ImageRef image);
cg::ImageRef currentArtwork();

// The now-playing screen comes on, goes away, or moves to the next item; each with ColorFlow's
// notification.
void bringNowPlayingOnScreen();
void takeNowPlayingOffScreen();
void showNextItem();

}  // namespace music
