#include "NotifyDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Device/DeviceFiles.h"

namespace notify_internal {

namespace {

// File names are at most 255 bytes; stay well below so that suffixes fit too.
constexpr std::size_t kMaximumFileNameLength = 200;

bool makeFolder(const std::filesystem::path& path) {
  if (::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) return true;
  return false;
}

}  // namespace

std::string fileNameFor(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '_' || c == '-';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
    if (out.size() > kMaximumFileNameLength) return {};
  }
  // "." and ".." are folder entries, not names.
  if (out == "." || out == "..") out = "%2E" + out.substr(1);
  return out;
}

NotifyDirectory::NotifyDirectory(const std::filesystem::path& run) : root_(run / "notify") {
  ready_ = !run.empty() && makeFolder(root_) && makeFolder(root_ / "state") &&
           makeFolder(root_ / "names") && makeFolder(root_ / "endpoints");
}

uint64_t NotifyDirectory::state(const std::string& fileName) const {
  const int fd = device::openInDevice(root_ / "state" / fileName, O_RDONLY);
  if (fd < 0) return 0;
  uint64_t value = 0;
  const ssize_t n = ::pread(fd, &value, sizeof value, 0);
  ::close(fd);
  return n == static_cast<ssize_t>(sizeof value) ? value : 0;
}

bool NotifyDirectory::setState(const std::string& fileName, uint64_t state) const {
  // One aligned 8-byte write at offset 0: readers see the old or the new value, never a mix.
  const int fd = device::openInDevice(root_ / "state" / fileName, O_RDWR | O_CREAT);
  if (fd < 0) return false;
  const ssize_t n = ::pwrite(fd, &state, sizeof state, 0);
  ::close(fd);
  return n == static_cast<ssize_t>(sizeof state);
}

bool NotifyDirectory::addRegistrant(const std::string& fileName,
                                    const std::string& endpoint) const {
  const auto folder = root_ / "names" / fileName;
  if (!makeFolder(folder)) return false;
  const int fd = device::openInDevice(folder / endpoint, O_WRONLY | O_CREAT);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

void NotifyDirectory::removeRegistrant(const std::string& fileName,
                                       const std::string& endpoint) const {
  ::unlink((root_ / "names" / fileName / endpoint).c_str());
}

std::vector<std::string> NotifyDirectory::registrants(const std::string& fileName) const {
  std::vector<std::string> out;
  DIR* dir = ::opendir((root_ / "names" / fileName).c_str());
  if (dir == nullptr) return out;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view entryName = entry->d_name;
    if (entryName == "." || entryName == "..") continue;
    out.emplace_back(entryName);
  }
  ::closedir(dir);
  return out;
}

}  // namespace notify_internal
