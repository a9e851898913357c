#pragma once
// The Music app's now-playing screen as it is drawn: the now-playing controller's view with the
// current item's artwork, and whatever a tweak has put over the artwork. ColorFlow is on this
// phone: the artwork's colours are announced when it appears or changes, and their reversion
// when it goes away. Main thread only.

#include <HostScreen/AppScreen.h>

namespace music {

screen::AppScreen& musicScreen();

// The now-playing screen comes on, goes away, or moves to the next item; each with ColorFlow's
// notification.
void bringNowPlayingOnScreen();
void takeNowPlayingOffScreen();
void showNextItem();

}  // namespace music
