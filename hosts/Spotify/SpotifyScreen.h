#pragma once
// Spotify's now-playing screen as it is drawn: the carousel controller's view (the blurred
// background, the cover art with whatever a tweak put over it, the player's buttons), recoloured
// by Spotify from each track's cover art. Main thread only.

#include <CoreGraphics/CGImage.h>
#include <UIKit/UIView.h>

namespace spotify {

// The screen's root view (watched for the frames it commits).
UIView* spotifyScreen();

// The cover art shown from now on (null: the generated cover of the current track).
void setCoverArt(cg::ImageRef image);

// The now-playing screen comes on, goes away, or plays the next track (which recolours the
// player's controls).
void bringNowPlayingOnScreen();
void takeNowPlayingOffScreen();
void playNextTrack();
unsigned currentTrack();

}  // namespace spotify
