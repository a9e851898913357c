// SpringBoardServer: the history service in SpringBoard. Its hook of the launch method starts
// the service once SpringBoard has finished launching.

#include "Vellamor2/SpringBoardServer.h"

#include <Foundation/Foundation.h>

#include <cstddef>
#include <cstring>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/SharedRecords.h"
#include "Vellamor2/SpringBoardHostClasses.h"
#include "Vellamor2/Startup.h"

serverDataStruct ServerData;
StrongRef<SettingsManager> sManager;

namespace SpringBoardServer {

namespace {

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
  ServerData.busy = false;
  // The service registration joins here once the message transport is in.
  // Replaces (and releases) any earlier manager.
  StrongRef<SettingsManager> manager = objc::make<SettingsManager>();
  manager->init();
  sManager = manager;
}

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
