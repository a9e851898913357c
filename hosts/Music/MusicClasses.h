#pragma once
// The Music app's host classes. iOS 10: the now-playing controls controller, its artwork view
// and the video view that a played video makes. iOS 9: the now-playing controller, the
// controller of the current item (whose view shows the artwork) and the video controller.

#include <UIKit/UIView.h>
#include <objc/runtime.h>

namespace music {

// The artwork view's size and place on the screen, in points.
inline constexpr double kArtworkSide = 320;
inline constexpr double kArtworkLeft = 27.5;
inline constexpr double kArtworkTop = 120;

void defineClasses(int generation);

// The now-playing screen's controller: its view loads and comes on screen, or goes away.
void showNowPlaying();
void hideNowPlaying();
// The controller on screen (no reference taken), or null.
id nowPlayingController();

// The view that shows the current item's artwork: iOS 10 the controls' artwork view, iOS 9 the
// current item's view. Null while the now-playing screen is away.
UIView* artworkView();

// A video starts in the now-playing screen (iOS 10: a video view is made, given its video layer,
// laid out and shown; iOS 9: the item's video controller appears) or stops (its view is hidden).
// False when there is no now-playing screen or (stop) no video.
bool startVideo();
bool stopVideo();

// The next item of the queue plays (iOS 9: _updateNowPlayingInfo makes its item controller).
void nextItem();

}  // namespace music
