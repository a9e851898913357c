#pragma once
// A fresh, empty device directory for one test; it becomes VELLAMOR_DEVICE for this process and
// its children and is removed afterwards (kept when VELLAMOR_KEEP_DEVICE is set, for a
// post-mortem).

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace testing_support {

class TempDevice {
 public:
  TempDevice();
  ~TempDevice();
  TempDevice(const TempDevice&) = delete;
  TempDevice& operator=(const TempDevice&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Text of the device log (run/log), empty when there is none yet.
  std::string log() const;

 private:
  std::filesystem::path path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// The pid recorded under the device's run/pids/ for `name`; 0 when there is none.
pid_t recordedPid(const std::filesystem::path& device, const std::string& name);

// True while `pid` names a process that has not ended (a zombie has).
bool processExists(pid_t pid);

// Directories of the build, for finding host programs and libraries.
std::filesystem::path binaryDirectory();
std::filesystem::path sourceDirectory();

}  // namespace testing_support
