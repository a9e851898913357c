// Arbitrary bytes as a message-1 body: merged only when whole and sane, never read past its end.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/SpringBoardServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes, so that the sanitiser sees any read past the body.
  std::vector<uint8_t> body(data, data + size);
  const bool merged = SpringBoardServer::mergePacket(body.data(), body.size());
  if (merged && (size < sizeof(mediaServerAudioDataStruct) || ServerData.numberBuffers < 1 ||
                 ServerData.numberBuffers > 2 || ServerData.numberFrames < 1 ||
                 ServerData.numberFrames > kPacketCapacityFrames)) {
    std::abort();
  }
  return 0;
}
