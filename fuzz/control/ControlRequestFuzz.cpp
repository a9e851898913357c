// A host's control service reads requests from any caller of the device's user: whatever the
// bytes, the parser answers with a request or a reason, and the words it gives back are sound;
// so does the now-playing request's decoder, with whatever argument comes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "HostControl/ControlRequest.h"
#include "HostControl/NowPlayingInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const auto request =
      control::parseControlRequest(reinterpret_cast<const char*>(data), size, &error);
  if (request) {
    if (request->command.empty() || request->command.size() + request->argument.size() > size)
      std::abort();
    for (char c : request->argument)
      if (static_cast<unsigned char>(c) < 0x20) std::abort();
    const auto [first, rest] = control::splitFirstWord(request->argument);
    if (first.size() + rest.size() > request->argument.size()) std::abort();
    std::string reason;
    const auto info = control::parseNowPlaying(request->argument, &reason);
    if (info ? info->title.size() + info->artist.size() > request->argument.size() ||
                   info->elapsedSeconds < -1 || info->durationSeconds < 0
             : reason.empty())
      std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
