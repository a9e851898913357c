#include "Device/DeviceFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "Device/Device.h"

namespace device {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

 private:
  int fd_;
};

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The folder holding `file`, walked down from `base` one name at a time without following a
// link; `name` receives the file's own name.
Descriptor openParentFolder(const std::filesystem::path& file, std::filesystem::path base,
                            bool create, std::string& name) {
  if (base.empty()) base = root();
  if (base.empty() || file.empty()) {
    errno = ENOENT;
    return Descriptor();
  }
  const std::filesystem::path relative =
      file.lexically_normal().lexically_relative(base.lexically_normal());
  if (relative.empty() || relative.is_absolute() || *relative.begin() == "..") {
    errno = EXDEV;  // not inside the device
    return Descriptor();
  }
  // The device directory itself is the user's choice and may be reached through a link.
  Descriptor folder(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid()) return folder;
  const std::filesystem::path parent = relative.parent_path();
  for (const auto& part : parent) {
    const std::string component = part.string();
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      errno = EXDEV;
      return Descriptor();
    }
    int next = ::openat(folder.get(), component.c_str(), kFolderFlags);
    if (next < 0 && errno == ENOENT && create) {
      if (::mkdirat(folder.get(), component.c_str(), 0700) != 0 && errno != EEXIST)
        return Descriptor();
      next = ::openat(folder.get(), component.c_str(), kFolderFlags);
    }
    if (next < 0) return Descriptor();
    folder = Descriptor(next);
  }
  name = relative.filename().string();
  if (name.empty() || name == "." || name == "..") {
    errno = EISDIR;
    return Descriptor();
  }
  return folder;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Removes the temporary files of `name` whose writers were killed before their rename: the
// writer's pid is in the name, and one that no longer runs will never finish.
void removeAbandonedTemporaries(int folder, const std::string& name) {
  const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing < 0) return;
  DIR* entries = ::fdopendir(listing);
  if (entries == nullptr) {
    ::close(listing);
    return;
  }
  const std::string prefix = std::string(".").append(name).append(".");
  while (const dirent* entry = ::readdir(entries)) {
    const std::string_view file = entry->d_name;
    if (file.size() <= prefix.size() + 4 || file.substr(0, prefix.size()) != prefix ||
        file.substr(file.size() - 4) != ".tmp")
      continue;
    const long pid = std::strtol(entry->d_name + prefix.size(), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      ::unlinkat(folder, entry->d_name, 0);
  }
  ::closedir(entries);
}

}  // namespace

int openInDevice(const std::filesystem::path& file, int flags, mode_t mode,
                 const std::filesystem::path& base) {
  std::string name;
  const Descriptor folder = openParentFolder(file, base, (flags & O_CREAT) != 0, name);
  if (!folder.valid()) return -1;
  int fd;
  do {
    fd = ::openat(folder.get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

bool replaceFile(const std::filesystem::path& file, std::string_view bytes,
                 const std::filesystem::path& base) {
  std::string name;
  const Descriptor folder = openParentFolder(file, base, true, name);
  if (!folder.valid()) return false;
  // A fresh name each time, created exclusively: nothing planted at it is ever opened.
  static std::atomic<unsigned> serial{0};
  std::string temporary;
  Descriptor out;
  for (int attempt = 0; attempt < 8 && !out.valid(); ++attempt) {
    temporary = std::string(".")
                    .append(name)
                    .append(".")
                    .append(std::to_string(::getpid()))
                    .append("-")
                    .append(std::to_string(++serial))
                    .append(".tmp");
    out = Descriptor(::openat(folder.get(), temporary.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid() && errno != EEXIST) return false;
  }
  if (!out.valid()) return false;
  const bool written = writeAll(out.get(), bytes) && ::fsync(out.get()) == 0;
  out = Descriptor();
  if (!written || ::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0) {
    ::unlinkat(folder.get(), temporary.c_str(), 0);
    return false;
  }
  ::fsync(folder.get());
  removeAbandonedTemporaries(folder.get(), name);
  return true;
}

}  // namespace device
