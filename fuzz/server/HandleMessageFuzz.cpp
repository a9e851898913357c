// Arbitrary requests as the service callback receives them: the first byte picks the id (1 to 3,
// and rarely 4, which is logged),
// the rest is the body, in-line up to 4,096 bytes and out-of-line (mapped, as received) above.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SpringBoardServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int32_t id = data[0] == 255 ? 4 : 1 + data[0] % 3;
  const uint8_t* body = data + 1;
  const auto length = static_cast<uint32_t>(size - 1);
  auto buffer = std::make_unique<LMResponseBuffer>();
  std::memset(buffer.get(), 0, sizeof *buffer);
  LMMessage* message = &buffer->message;
  message->head.msgh_id = id;
  message->head.msgh_remote_port = 0;  // replies go nowhere
  message->head.msgh_size = LMBufferSizeForLength(length);
  if (length <= 4096) {
    LMMessageAssignData(message, body, length);
  } else {
    void* pages =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED) return 0;
    std::memcpy(pages, body, length);
    LMMessageAssignOutOfLine(message, pages, length);  // unmapped by the callback
  }
  handle_message(nullptr, message, static_cast<CFIndex>(message->head.msgh_size), nullptr);
  return 0;
}
