#include "AudioControl.h"

#include <unistd.h>

#include <Foundation/NSLog.h>
#include <HostControl/ControlService.h>

#include <cstdio>

#include "AudioEngine.h"

namespace mediaserverd {
namespace {

constexpr std::size_t kLongestName = 256;  // bytes of a title or an artist in the reply

// One line of text, short enough for the reply: control characters would start lines of their
// own, and a name cut short loses no more than its last whole character.
std::string oneLine(std::string text) {
  if (text.size() > kLongestName) {
    std::size_t end = kLongestName;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
  }
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  return text;
}

std::string status(const AudioEngine& engine) {
  const AudioTrack track = engine.track();
  const unsigned rate = engine.sampleRate() != 0 ? engine.sampleRate() : 1;
  char first[192];
  std::snprintf(first, sizeof first,
                "ok pid=%ld paused=%d renders=%llu position_s=%.1f duration_s=%.1f",
                static_cast<long>(::getpid()), engine.paused() ? 1 : 0,
                static_cast<unsigned long long>(engine.rendersCompleted()),
                engine.positionSeconds(), static_cast<double>(track.frames) / rate);
  return std::string(first) + "\ntitle " + oneLine(track.title) + "\nartist " +
         oneLine(track.artist);
}

}  // namespace

std::string handleControlRequest(AudioEngine& engine, const control::ControlRequest& request) {
  const std::string& command = request.command;
  if (!request.argument.empty() &&
      (command == "pause" || command == "resume" || command == "status"))
    return control::errorReply(command + " takes no argument");
  if (command == "pause") {
    engine.setPaused(true);
    return "ok paused";
  }
  if (command == "resume") {
    engine.setPaused(false);
    return "ok playing";
  }
  if (command == "status") return status(engine);
  return control::errorReply("unknown command " + command);
}

bool startControlService(AudioEngine* engine) {
  std::string reason;
  if (control::serve(
          "mediaserverd",
          [engine](const control::ControlRequest& request) {
            return handleControlRequest(*engine, request);
          },
          &reason))
    return true;
  NSLog("mediaserverd: no control service: %s", reason.c_str());
  return false;
}

}  // namespace mediaserverd
