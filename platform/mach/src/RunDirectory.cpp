#include "RunDirectory.h"

#include <Device/Device.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "UniqueDescriptor.h"

namespace mach_stand_in {

namespace {
std::mutex directoryMutex;
std::string openedFor;
UniqueDescriptor runDirectory;
uint64_t openings = 0;
// Where the environment held the entry naming the device when it was last read. setenv puts a
// new entry (or a new array) and unsetenv moves the entries after the one it takes out, so while
// the same entry stands in the same place the device is the same, and the environment is not
// searched again.
char** seenEnvironment = nullptr;
std::size_t seenIndex = 0;
const char* seenEntry = nullptr;
const char* openedEntry = nullptr;

const char* deviceRoot() {
  if (environ != nullptr && environ == seenEnvironment && environ[seenIndex] == seenEntry)
    return seenEntry + std::strlen(device::kDeviceEnvironmentVariable) + 1;
  const std::size_t nameLength = std::strlen(device::kDeviceEnvironmentVariable);
  seenEnvironment = nullptr;
  for (std::size_t i = 0; environ != nullptr && environ[i] != nullptr; ++i) {
    const char* entry = environ[i];
    if (std::strncmp(entry, device::kDeviceEnvironmentVariable, nameLength) != 0 ||
        entry[nameLength] != '=')
      continue;
    seenEnvironment = environ;
    seenIndex = i;
    seenEntry = entry;
    return entry + nameLength + 1;
  }
  return nullptr;
}

// Asked in every exchange: the device is read as the environment names it, without a path made.
int openRunDirectory() {
  const char* root = deviceRoot();
  if (root == nullptr || *root == '\0') return -1;
  // The very entry the directory was opened for: no need to compare its text.
  if (root == openedEntry && runDirectory.valid()) return runDirectory.get();
  openedEntry = root;
  if (openedFor != root || !runDirectory.valid()) {
    std::filesystem::path run = device::runDirectory();
    if (run.empty()) return -1;
    device::runSubdirectory("ports");
    device::runSubdirectory("bootstrap");
    runDirectory.reset(open(run.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    openedFor = runDirectory.valid() ? root : std::string();
    ++openings;
  }
  return runDirectory.get();
}

}  // namespace

int runDirectoryDescriptor() {
  std::lock_guard lock(directoryMutex);
  return openRunDirectory();
}

uint64_t runDirectoryEpoch() {
  std::lock_guard lock(directoryMutex);
  return openRunDirectory() >= 0 ? openings : 0;
}

bool socketAddressFor(std::string_view relative, sockaddr_un& address, socklen_t& length) {
  int directory = runDirectoryDescriptor();
  if (directory < 0) return false;
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  int written = std::snprintf(address.sun_path, sizeof address.sun_path, "/proc/self/fd/%d/%.*s",
                              directory, static_cast<int>(relative.size()), relative.data());
  if (written <= 0 || static_cast<size_t>(written) >= sizeof address.sun_path) return false;
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + written + 1);
  return true;
}

std::string runPath(std::string_view relative) {
  std::filesystem::path run = device::runDirectory();
  if (run.empty()) return {};
  return (run / std::string(relative)).string();
}

}  // namespace mach_stand_in
