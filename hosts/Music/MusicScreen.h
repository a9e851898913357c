#pragma once
// The Music app's now-playing screen as it is drawn, in its light card style: the now-playing
// controller's view with the current item's artwork (and whatever a tweak has put over it), and
// around it the track's title and artist, its progress with the elapsed and remaining times, the
// previous, play-pause and next controls and the volume. ColorFlow is on this phone: the
// artwork's colours are announced when it appears or changes, and their reversion when it goes
// away. Main thread only.

#include <HostControl/NowPlayingInfo.h>
#include <HostScreen/AppScreen.h>

namespace music {

screen::AppScreen& musicScreen();

// The now-playing screen comes on, goes away, or moves to the next item; each with ColorFlow's
// notification.
void bringNowPlayingOnScreen();
void takeNowPlayingOffScreen();
void showNextItem();

// The device's now-playing information, shown from now on.
void showNowPlayingInfo(const control::NowPlayingInfo& info);

}  // namespace music
