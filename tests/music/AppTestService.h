#pragma once
// SpringBoard's audio service as the apps' tests and benchmarks need it: served on a thread of
// its own (the app's main thread blocks in each exchange), answering message 3 with the archive
// of the settings the test chose and message 2 with a history record of a moving tone, or with
// the failures a test asks for.

#include <Foundation/Foundation.h>

#include <atomic>

namespace app_test {

struct ServiceCounts {
  std::atomic<int> settingsRequests{0};
  std::atomic<int> historyRequests{0};
};

// Starts the service in the current device; false when it cannot be registered.
bool startService();

// What message 3 answers from now on (the archive of `settings`); null: no reply, so the
// client's exchange fails.
void answerSettings(NSDictionary* settings);
// Message 2 answers 4 bytes instead of the whole record.
void answerShortHistory(bool shortHistory);

ServiceCounts& counts();

}  // namespace app_test
