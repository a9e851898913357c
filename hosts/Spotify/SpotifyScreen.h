#pragma once
// Spotify's now-playing screen as it is drawn, in its dark style: the carousel controller's view
// (the blurred background, the cover art with whatever a tweak put over it, the previous-track
// and play buttons), recoloured by Spotify from each track's cover art; around it the header
// ("PLAYING FROM …"), the carousel's neighbouring covers, the track's title and artist, its
// progress with the times, and the shuffle, next and repeat controls. Main thread only.

#include <HostControl/NowPlayingInfo.h>
#include <HostScreen/AppScreen.h>

namespace spotify {

screen::AppScreen& spotifyScreen();

// The now-playing screen comes on, goes away, or plays the next track (which recolours the
// player's controls).
void bringNowPlayingOnScreen();
void takeNowPlayingOffScreen();
void playNextTrack();

// The device's now-playing information, shown from now on.
void showNowPlayingInfo(const control::NowPlayingInfo& info);

}  // namespace spotify
