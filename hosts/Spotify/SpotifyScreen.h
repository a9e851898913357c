#pragma once
// Spotify's now-playing screen as it is drawn: the carousel controller's view (the blurred
// background, the cover art with whatever a tweak put over it, the player's buttons), recoloured
// by Spotify from each track's cover art. Main thread only.

#include <HostScreen/AppScreen.h>

namespace spotify {

screen::AppScreen& spotifyScreen();

// The now-playing screen comes on, goes away, or plays the next track (which recolours the
// player's controls).
void bringNowPlayingOnScreen();
void takeNowPlayingOffScreen();
void playNextTrack();

}  // namespace spotify
