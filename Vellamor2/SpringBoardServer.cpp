// SpringBoardServer: the history service in SpringBoard. Its hook of the launch method starts
// the service once SpringBoard has finished launching.

#include "Vellamor2/SpringBoardServer.h"

#include <Foundation/Foundation.h>

#include <array>
#include <cstddef>
#include <cstring>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/SpringBoardHostClasses.h"
#include "Vellamor2/Startup.h"

serverDataStruct ServerData;
StrongRef<SettingsManager> sManager;

namespace SpringBoardServer {

namespace {

// The service name as the transport takes it: the identifier, zero-padded to 128 bytes.
constexpr auto kServiceName = [] {
  std::array<char, kServiceNameLength> name{};
  for (std::size_t i = 0; i + 1 < sizeof kVellamorServiceIdentifier; ++i) {
    name[i] = kVellamorServiceIdentifier[i];
  }
  return name;
}();

constexpr std::size_t kPacketSize = sizeof(mediaServerAudioDataStruct);
constexpr std::size_t kNumberBuffersOffset = offsetof(mediaServerAudioDataStruct, numberBuffers);
constexpr std::size_t kNumberFramesOffset = offsetof(mediaServerAudioDataStruct, numberFrames);
constexpr std::size_t kChannelBytes = sizeof(mediaServerAudioDataStruct::data[0]);

}  // namespace

bool mergePacket(const void* body, std::size_t length) {
  // A short body, or counts the history cannot hold, would read or write past a buffer: such a
  // packet is dropped whole rather than trimmed, so the history never mixes frame counts.
  if (body == nullptr || length < kPacketSize) return false;
  const auto* bytes = static_cast<const unsigned char*>(body);
  int32_t channels = 0;
  int32_t frames = 0;
  std::memcpy(&channels, bytes + kNumberBuffersOffset, sizeof channels);
  std::memcpy(&frames, bytes + kNumberFramesOffset, sizeof frames);
  if (channels < 1 || channels > 2 || frames < 1 || frames > kPacketCapacityFrames) {
    return false;
  }
  const std::size_t n = static_cast<std::size_t>(frames);
  ServerData.numberBuffers = channels;
  ServerData.numberFrames = frames;
  for (int32_t k = 0; k < ServerData.numberBuffers; ++k) {
    float* history = ServerData.data[k];
    std::memmove(history, history + n, (kHistoryPackets - 1) * n * sizeof(float));
    std::memcpy(history + (kHistoryPackets - 1) * n,
                bytes + static_cast<std::size_t>(k) * kChannelBytes, n * sizeof(float));
  }
  return true;
}

namespace {

constinit SpringBoardHost::ApplicationDidFinishLaunching oldApplicationDidFinishLaunching = nullptr;

}  // namespace

// ---- The service start (after SpringBoard's own launch) ----------------------------------------

void startService() {
  char name[kServiceNameLength];
  std::memcpy(name, kServiceName.data(), sizeof name);
  ServerData.busy = false;
  const kern_return_t status = LMStartService(name, CFRunLoopGetCurrent(), &handle_message);
  if (status != 0) NSLog("vellamor2: Unable to register mach server with error %x", status);
  // Replaces (and releases) any earlier manager; made whether or not the service started.
  StrongRef<SettingsManager> manager = objc::make<SettingsManager>();
  manager->init();
  sManager = manager;
}

}  // namespace SpringBoardServer

// ---- Requests
// ------------------------------------------------------------------------------------

void handle_message(CFMachPortRef, void* message, CFIndex, void*) {
  auto* request = static_cast<LMMessage*>(message);
  const mach_port_t replyPort = request->head.msgh_remote_port;
  switch (request->head.msgh_id) {
    case kAudioPacketMessageId:
      // A malformed packet is not merged (see mergePacket) but acknowledged all the same, so the
      // audio daemon never waits out its time-out for it.
      ServerData.busy = true;
      SpringBoardServer::mergePacket(LMMessageGetData(request), LMMessageGetDataLength(request));
      LMSendReply(replyPort, &okay, sizeof okay);
      ServerData.busy = false;
      break;
    case kHistorySnapshotMessageId:
      LMSendReply(replyPort, &ServerData, sizeof ServerData);
      break;
    case kPreferencesMessageId: {
      StrongRef<NSData> archive =
          NSKeyedArchiver::archivedDataWithRootObject(msgSend<id>(sManager.get(), "preferences"));
      LMSendReply(replyPort, archive ? archive->bytes() : nullptr,
                  archive ? static_cast<uint32_t>(archive->length()) : 0);
      break;
    }
    default:
      NSLog("vellamor2: Unidentified message recieved.");
      break;
  }
  LMResponseBufferFree(request);
}

namespace SpringBoardServer {

namespace {

// ---- Hooks -------------------------------------------------------------------------------------

void applicationDidFinishLaunching(id self, SEL _cmd, id application) {
  oldApplicationDidFinishLaunching(self, _cmd, application);
  startService();
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------------------

void startup() {
  if (!vellamor2::isHost("com.apple.springboard")) return;
  vellamor2::logHooked();
  vellamor2::installHookGroup(
      {"SBServerHooks",
       {vellamor2::replaced(SpringBoardHost::kSpringBoard, "applicationDidFinishLaunching:",
                            &applicationDidFinishLaunching, &oldApplicationDidFinishLaunching)}});
}

}  // namespace SpringBoardServer
