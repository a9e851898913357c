// A small service for the transport tests, run as its own process: it registers the name given
// as its argument and answers on its main run loop.
//   id 1: acknowledges with the 4-byte `okay`;
//   id 2: replies with kTestHistoryBytes of the test pattern, out-of-line;
//   id 7: echoes the request's body;
//   any other id: no reply (the client times out).

#include <CoreFoundation/CFRunLoop.h>
#include <mach/mach.h>

#include <cstdio>
#include <vector>

#include "TransportTestPattern.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"

namespace {

std::vector<uint8_t>& history() {
  static std::vector<uint8_t> bytes = transport_test::patternBytes(transport_test::kHistoryBytes);
  return bytes;
}

void answer(CFMachPortRef, void* msg, CFIndex, void*) {
  auto* message = static_cast<LMMessage*>(msg);
  const mach_port_t reply = message->head.msgh_remote_port;
  switch (message->head.msgh_id) {
    case 1:
      LMSendReply(reply, &okay, sizeof okay);
      break;
    case 2:
      LMSendReply(reply, history().data(), static_cast<uint32_t>(history().size()));
      break;
    case 7:
      LMSendReply(reply, LMMessageGetData(message), LMMessageGetDataLength(message));
      break;
    default:
      break;
  }
  LMResponseBufferFree(message);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s SERVICE-NAME\n", argv[0]);
    return 2;
  }
  history();
  const kern_return_t status = LMStartService(argv[1], CFRunLoopGetMain(), answer);
  if (status != KERN_SUCCESS) {
    std::fprintf(stderr, "cannot start %s: %d\n", argv[1], status);
    return 1;
  }
  CFRunLoopRun();
  return 0;
}
