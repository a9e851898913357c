#pragma once
// Spotify's control service ("Spotify" in the device's run/control/):
//
//   show-now-playing [FILE]   the now-playing screen comes on (FILE: a PNG as the cover art)
//   hide-now-playing          it goes away
//   next-track                the next track plays; Spotify recolours its controls from its cover
//   blur-layout N             the blurred background's layout: 5 subviews (default) or 3
//   now-playing T|A[|E|D[|P]] the track's title, artist, progress and pause (NowPlayingInfo.h)
//   capture FILE [SCALE]      the screen drawn into a PNG
//   figures                   what the plot and the screen did (ScreenRequests.h)
//   first-change-after NS     the first new frame after NS (CLOCK_MONOTONIC)

#include <HostControl/ControlRequest.h>

#include <string>

namespace spotify {

void startControlService();

std::string handleControlRequest(const control::ControlRequest& request);

}  // namespace spotify
