#include "TempDevice.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "Device/Device.h"

namespace testing_support {

TempDevice::TempDevice() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vellamor-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (const char* old = std::getenv(device::kDeviceEnvironmentVariable)) {
    previous_ = old;
    hadPrevious_ = true;
  }
  ::setenv(device::kDeviceEnvironmentVariable, path_.c_str(), 1);
}

TempDevice::~TempDevice() {
  if (hadPrevious_)
    ::setenv(device::kDeviceEnvironmentVariable, previous_.c_str(), 1);
  else
    ::unsetenv(device::kDeviceEnvironmentVariable);
  if (std::getenv("VELLAMOR_KEEP_DEVICE") == nullptr) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
}

std::string TempDevice::log() const {
  std::ifstream in(path_ / "run" / "log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

pid_t recordedPid(const std::filesystem::path& device, const std::string& name) {
  std::ifstream in(device / "run/pids" / (name + ".pid"));
  long pid = 0;
  in >> pid;
  return static_cast<pid_t>(pid);
}

bool processExists(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(in, text)) return false;
  const auto close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] != 'Z';
}

std::filesystem::path binaryDirectory() { return VELLAMOR_BINARY_DIR; }
std::filesystem::path sourceDirectory() { return VELLAMOR_SOURCE_DIR; }

}  // namespace testing_support
