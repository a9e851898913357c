#pragma once
// The device's now-playing information passed on: the audio daemon's status (what plays, where
// in it) told to every host with a now-playing screen, as the phone's media server tells them.

#include <string>

namespace tools {

// Asks the audio daemon for its status and tells the lock screen, Music and Spotify the title,
// artist, progress and whether it is paused, unless they are what `told` (the last request sent)
// holds already. The request sent goes to `told`; false when the daemon did not answer.
bool passOnNowPlaying(std::string* told);

}  // namespace tools
