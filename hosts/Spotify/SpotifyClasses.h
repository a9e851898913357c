#pragma once
// Spotify's host classes: the now-playing carousel controller with its cover-art and blur
// controllers, and the player's previous-track and play buttons.

namespace spotify {

void defineClasses(int generation);

// The now-playing screen loads and comes on screen, or goes away.
void showNowPlaying();
void hideNowPlaying();

// The player recolours its controls for the playing item (the previous-track icon).
void recolourControls();

}  // namespace spotify
