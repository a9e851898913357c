#include "HostControl/NowPlayingInfo.h"

#include "HostControl/ControlRequest.h"

#include <cstdio>
#include <cstdlib>

namespace control {
namespace {

constexpr long kLongestSeconds = 100L * 3600;

// Whole seconds from 0 to kLongestSeconds.
std::optional<long> secondsOf(const std::string& text) {
  if (text.empty() || text.size() > 7 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > kLongestSeconds) return std::nullopt;
  return value;
}

}  // namespace

std::optional<NowPlayingInfo> parseNowPlaying(const std::string& argument, std::string* error) {
  auto fail = [&](const char* reason) {
    if (error != nullptr) *error = reason;
    return std::nullopt;
  };
  std::string fields[5];
  std::size_t count = 0, start = 0;
  for (;;) {
    const auto bar = argument.find('|', start);
    if (count == 5) return fail("now-playing takes at most five fields");
    fields[count++] = argument.substr(start, bar == std::string::npos ? bar : bar - start);
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  if (count == 3) return fail("now-playing needs TITLE|ARTIST[|ELAPSED|DURATION[|PAUSED]]");
  NowPlayingInfo info{fields[0], fields[1]};
  if (count == 5) {
    if (fields[4] != "0" && fields[4] != "1") return fail("now-playing's PAUSED is 0 or 1");
    info.paused = fields[4] == "1";
  }
  if (count >= 4) {
    const auto elapsed = secondsOf(fields[2]), duration = secondsOf(fields[3]);
    if (!elapsed || !duration) return fail("now-playing times are whole seconds");
    info.elapsedSeconds = *elapsed;
    info.durationSeconds = *duration;
  }
  return info;
}

std::string answerNowPlaying(const std::string& argument, void (*show)(const NowPlayingInfo&)) {
  std::string reason;
  const auto info = parseNowPlaying(argument, &reason);
  if (!info) return errorReply(reason);
  show(*info);
  return "ok now-playing";
}

std::string clockText(long seconds, bool negative) {
  if (seconds < 0) seconds = 0;
  char text[24];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%s%ld:%02ld:%02ld", negative ? "-" : "", seconds / 3600,
                  seconds / 60 % 60, seconds % 60);
  else
    std::snprintf(text, sizeof text, "%s%ld:%02ld", negative ? "-" : "", seconds / 60,
                  seconds % 60);
  return text;
}

}  // namespace control
