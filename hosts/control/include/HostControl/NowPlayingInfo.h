#pragma once
// The device's now-playing information as every host with a now-playing screen is told it, by
// the control request "now-playing TITLE|ARTIST[|ELAPSED|DURATION[|PAUSED]]" (whole seconds; a
// duration of 0 is a stream without end; PAUSED 1 while the daemon is paused, else 0). The audio
// daemon's status is its source (`vellamor live` and the demo pass it on).

#include <optional>
#include <string>

namespace control {

struct NowPlayingInfo {
  std::string title;
  std::string artist;
  long elapsedSeconds = -1;  // -1: not told
  long durationSeconds = 0;
  bool paused = false;  // not told: playing
};

// The information in `argument`; nothing (and a reason) when it is malformed.
std::optional<NowPlayingInfo> parseNowPlaying(const std::string& argument, std::string* error);

// The reply to "now-playing ARGUMENT": "ok now-playing" once the information has gone to `show`,
// else an error with the reason.
std::string answerNowPlaying(const std::string& argument, void (*show)(const NowPlayingInfo&));

// "M:SS" (or "H:MM:SS"); `negative` puts a minus sign first, as a remaining time shows.
std::string clockText(long seconds, bool negative = false);

}  // namespace control
