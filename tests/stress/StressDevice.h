#pragma once
// The stress suite's device: made with `vellamor device create`, its hosts started and killed by
// the test itself (by pid), the service reached through the transport as the apps reach it, and
// the figures of each case printed and, for a long run, added to the report.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "TempDevice.h"
#include "Vellamor2/Messaging/LMConnection.h"

namespace stress {

// The run's size: VELLAMOR_STRESS_MINUTES makes it a long run with the full counts.
bool longRun();
double soakMinutes();
// `ci` in the CI run, `full` in a long one.
int count(int ci, int full);

// Prints "figure: NAME = VALUE" and adds the line to VELLAMOR_STRESS_REPORT when set.
void figure(const std::string& name, const std::string& value);

// What /proc tells of a process.
std::size_t descriptorCount(pid_t pid);
std::size_t memfdMappings(pid_t pid);
long residentKilobytes(pid_t pid);

class StressDevice {
 public:
  StressDevice();
  const std::filesystem::path& path() const { return device_.path(); }
  std::string log() const { return device_.log(); }

  // Starts the host program `name` (as the launcher would, without supervising it).
  std::unique_ptr<testing_support::ChildProcess> start(const std::string& name) const;
  // Starts SpringBoard and waits until its service answers.
  void startHub();
  void killHub();
  testing_support::ChildProcess* hub() { return hub_.get(); }

  // One history request over `connection`; true when a whole history came back.
  static bool history(LMConnection& connection);
  // Repeats history requests until one succeeds; how many it took, 0 when none did in time.
  static int historyUntilAnswered(LMConnection& connection,
                                  std::chrono::milliseconds timeout = std::chrono::seconds(20));
  // The socket of the service's port, from its registration.
  std::filesystem::path serviceSocket() const;

 private:
  testing_support::TempDevice device_;
  std::unique_ptr<testing_support::ChildProcess> hub_;
};

LMConnection serviceConnection();

}  // namespace stress
