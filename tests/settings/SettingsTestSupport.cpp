#include "SettingsTestSupport.h"

#include <CoreFoundation/CFRunLoop.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "ChildProcess.h"
#include "Device/Device.h"
#include "TempDevice.h"
#include "WaitFor.h"

namespace settings_test {

std::filesystem::path helperPath() {
  return testing_support::binaryDirectory() / "bin" / "settings_helper";
}

int runHelper(const std::vector<std::string>& arguments) {
  testing_support::ChildProcess child(helperPath(), arguments);
  const auto status = child.wait();
  if (!status || !WIFEXITED(*status)) return -1;
  return WEXITSTATUS(*status);
}

bool runMainLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  return testing_support::waitFor(
      [&] {
        if (condition()) return true;
        CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.02, true);
        return condition();
      },
      timeout);
}

std::filesystem::path domainFile(const std::string& domain) {
  return device::phonePath("/var/mobile/Library/Preferences") / (domain + ".plist");
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace settings_test
