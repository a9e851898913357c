#include "Device/Device.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace device {
namespace {

bool makePrivateDirectory(const std::filesystem::path& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  if (errno != EEXIST) return false;
  // A link planted in its place is no folder of the device.
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::filesystem::path root() {
  const char* value = std::getenv(kDeviceEnvironmentVariable);
  if (value == nullptr || *value == '\0') return {};
  return std::filesystem::path(value);
}

bool isConfigured() {
  const auto dir = root();
  std::error_code error;
  return !dir.empty() && std::filesystem::is_directory(dir, error);
}

std::filesystem::path runDirectory() {
  const auto dir = root();
  if (dir.empty()) return {};
  auto run = dir / "run";
  if (!makePrivateDirectory(run)) return {};
  return run;
}

std::filesystem::path runSubdirectory(std::string_view name) {
  const auto run = runDirectory();
  if (run.empty()) return {};
  auto sub = run / std::filesystem::path(name);
  if (!makePrivateDirectory(sub)) return {};
  return sub;
}

std::filesystem::path phonePath(std::string_view phoneAbsolutePath) {
  while (!phoneAbsolutePath.empty() && phoneAbsolutePath.front() == '/')
    phoneAbsolutePath.remove_prefix(1);
  return root() / std::filesystem::path(phoneAbsolutePath);
}

}  // namespace device
