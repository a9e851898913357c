// The live page's server reads each host's frame file from the device: whatever the bytes, the
// decoder gives a frame whose sizes are in range and whose picture is a whole JPEG, or a reason.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "HostFrames/LiveFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const auto frame = frames::decodeLiveFrame({data, size}, &error);
  if (!frame) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (frame->width == 0 || frame->height == 0 || frame->jpeg.size() < 4 ||
      frame->jpeg.size() + frames::kLiveFrameHeaderBytes != size)
    std::abort();
  const auto round = frames::encodeLiveFrame(*frame);
  if (round.size() != size) std::abort();
  return 0;
}
