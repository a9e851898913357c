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

// Two records of a tone a little apart in phase, answered in turn so that each drawing differs
// from the last; made once, so an answer costs the service nothing but the send.
const serverDataStruct& nextHistory() {
  static serverDataStruct* records = [] {
    auto* made = new serverDataStruct[2]{};
    for (int r = 0; r < 2; ++r) {
      made[r].numberBuffers = 2;
      made[r].numberFrames = 1024;
      for (int channel = 0; channel < 2; ++channel)
        for (int i = 0; i < kHistoryPackets * 1024; ++i)
          made[r].data[channel][i] = 0.5f * std::sin(0.01f * static_cast<float>(i + 37 * r));
    }
    return made;
  }();
  static int next = 0;
  next ^= 1;
  return records[next];
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
      LMSendReply(reply, &nextHistory(), sizeof(serverDataStruct));
    }
  }
  LMResponseBufferFree(message);
}

}  // namespace

bool startService() {
  nextHistory();
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
