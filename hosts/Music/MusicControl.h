#pragma once
// The Music app's control service ("Music" in the device's run/control/):
//
//   show-now-playing [FILE]   the now-playing screen comes on (FILE: a PNG as the artwork)
//   hide-now-playing          it goes away
//   play-video | stop-video   a video starts or stops in the now-playing screen
//   next-item                 the next item of the queue plays, with its own artwork
//   colourise [P S B]         ColorFlow announces colours: three "R,G,B" (0 to 1) for primary,
//                             secondary and background, or without them the artwork's palette
//   revert                    ColorFlow announces the reversion
//   now-playing T|A[|E|D[|P]] the track's title, artist, progress and pause (NowPlayingInfo.h)
//   capture FILE [SCALE]      the screen drawn into a PNG
//   figures                   what the plot and the screen did (ScreenRequests.h)
//   first-change-after NS     the first new frame after NS (CLOCK_MONOTONIC)

#include <HostControl/ControlRequest.h>

#include <string>

namespace music {

void startControlService();

std::string handleControlRequest(const control::ControlRequest& request);

}  // namespace music
