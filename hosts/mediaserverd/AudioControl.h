#pragma once
// The audio daemon's control service ("mediaserverd" in the device's run/control/), the same
// mechanism as every other host's:
//
//   pause | resume   the engine renders silence (flagged as such, so nothing is captured) or its
//                    source again: "ok paused" / "ok playing"
//   status           "ok pid=N paused=0|1 renders=N position_s=S duration_s=S", then a line
//                    "title TITLE" and a line "artist ARTIST" (duration 0: a stream)

#include <HostControl/ControlRequest.h>

#include <string>

class AudioEngine;

namespace mediaserverd {

// Offers the service for `engine`, which lives as long as the process; false (and a log line)
// when it cannot be offered. Main thread.
bool startControlService(AudioEngine* engine);

std::string handleControlRequest(AudioEngine& engine, const control::ControlRequest& request);

}  // namespace mediaserverd
