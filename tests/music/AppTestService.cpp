#include "AppTestService.h"

#include <CoreFoundation/CFRunLoop.h>
#include <Foundation/NSKeyedArchiver.h>

#include <cmath>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"

namespace app_test {
namespace {

std::mutex lock;
std::vector<std::uint8_t> settingsArchive;
bool settingsAnswered = false;
std::atomic<bool> shortReply{false};
ServiceCounts serviceCounts;

serverDataStruct& history() {
  static auto* record = new serverDataStruct{};
  return *record;
}

// A tone whose phase moves with every snapshot, so each drawing differs from the last.
void advanceHistory() {
  static int phase = 0;
  serverDataStruct& record = history();
  record.numberBuffers = 2;
  record.numberFrames = 1024;
  ++phase;
  for (int channel = 0; channel < 2; ++channel)
    for (int i = 0; i < kHistoryPackets * 1024; ++i)
      record.data[channel][i] = 0.5f * std::sin(0.01f * static_cast<float>(i + 37 * phase));
}

void answer(CFMachPortRef, void* received, CFIndex, void*) {
  auto* message = static_cast<LMMessage*>(received);
  const mach_port_t reply = message->head.msgh_remote_port;
  if (message->head.msgh_id == kPreferencesMessageId) {
    ++serviceCounts.settingsRequests;
    std::lock_guard<std::mutex> guard(lock);
    if (settingsAnswered)
      LMSendReply(reply, settingsArchive.data(), static_cast<uint32_t>(settingsArchive.size()));
  } else if (message->head.msgh_id == kHistorySnapshotMessageId) {
    ++serviceCounts.historyRequests;
    if (shortReply) {
      LMSendReply(reply, &okay, sizeof okay);
    } else {
      advanceHistory();
      LMSendReply(reply, &history(), sizeof(serverDataStruct));
    }
  }
  LMResponseBufferFree(message);
}

}  // namespace

bool startService() {
  std::mutex startLock;
  std::condition_variable started;
  bool done = false;
  kern_return_t status = KERN_FAILURE;
  std::thread([&] {
    {
      std::lock_guard<std::mutex> guard(startLock);
      status = LMStartService(kVellamorServiceIdentifier, CFRunLoopGetCurrent(), &answer);
      done = true;
    }
    started.notify_one();
    CFRunLoopRun();
  }).detach();
  std::unique_lock<std::mutex> wait(startLock);
  started.wait(wait, [&] { return done; });
  return status == KERN_SUCCESS;
}

void answerSettings(NSDictionary* settings) {
  std::lock_guard<std::mutex> guard(lock);
  settingsAnswered = settings != nullptr;
  settingsArchive.clear();
  if (auto data = NSKeyedArchiver::archivedDataWithRootObject(settings)) {
    const auto* bytes = static_cast<const std::uint8_t*>(data->bytes());
    settingsArchive.assign(bytes, bytes + data->length());
  }
}

void answerShortHistory(bool shortHistory) {
  shortReply = shortHistory;
}

ServiceCounts& counts() {
  return serviceCounts;
}

}  // namespace app_test
