#pragma once
// The Music app's host classes. iOS 10: the now-playing controls controller, its artwork view
// and the video view. iOS 9: the now-playing controller, the controller of the current item and
// the video controller.

namespace music {

void defineClasses(int generation);

// The now-playing screen loads and comes on screen, or goes away.
void showNowPlaying();
void hideNowPlaying();

// A video starts in the now-playing screen (iOS 10: a video view is made and laid out; iOS 9:
// the video controller appears) or the playing item changes (iOS 9: _updateNowPlayingInfo).
void startVideo();
void changeItem();

}  // namespace music
