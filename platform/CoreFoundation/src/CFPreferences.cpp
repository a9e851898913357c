#include "CoreFoundation/CFPreferences.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>

#include "Device/Device.h"
#include "Device/DeviceFiles.h"
#include "Foundation/NSLog.h"
#include "PreferencesFile.h"

namespace {

using cf_internal::DomainFileStatus;

// This process's copy of one domain file.
struct Domain {
  StrongRef<NSMutableDictionary> values = NSMutableDictionary::dictionary();
  bool loaded = false;
  // Changes not yet written; a null value removes the key.
  std::map<std::string, StrongRef<NSObject>, std::less<>> pending;
  bool reportedUnreadable = false;
};

std::mutex gLock;
// Keyed by file path, so that a process that moves to another device starts afresh.
std::map<std::filesystem::path, Domain> gDomains;

bool isDomainName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.size() < 200;
}

std::filesystem::path domainFile(CFStringRef applicationID) {
  if (applicationID == nullptr || !isDomainName(applicationID) || !device::isConfigured()) {
    return {};
  }
  return device::phonePath("/var/mobile/Library/Preferences") /
         (std::string(applicationID) + ".plist");
}

// Reads the file into the domain's copy. An unreadable file is told once, until it reads again.
void reload(const std::filesystem::path& file, Domain& domain) {
  const DomainFileStatus status = cf_internal::readDomainFile(file, domain.values.get());
  domain.loaded = true;
  if (status != DomainFileStatus::unreadable) {
    domain.reportedUnreadable = false;
    return;
  }
  if (!domain.reportedUnreadable) {
    NSLog("CFPreferences: %s is not a readable property list; its domain reads as empty",
          file.c_str());
    domain.reportedUnreadable = true;
  }
}

Domain* domainFor(const std::filesystem::path& file) {
  if (file.empty()) return nullptr;
  Domain& domain = gDomains[file];
  if (!domain.loaded) reload(file, domain);
  return &domain;
}

// Serialises writers of one domain across processes; released by the kernel if the holder dies.
class DomainLock {
 public:
  explicit DomainLock(const std::filesystem::path& file) {
    // Appended piecewise: GCC 12 misreads `"." + string` as an overlapping copy (-Wrestrict).
    std::string lockName = ".";
    lockName += file.filename().string();
    lockName += ".lock";
    const auto lockFile = file.parent_path() / lockName;
    fd_ = device::openInDevice(lockFile, O_RDWR | O_CREAT);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~DomainLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

bool writePending(const std::filesystem::path& file, Domain& domain) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  DomainLock lock(file);
  if (!lock.held()) return false;
  // Others may have written since this process read the file: start from what is there now.
  // An unreadable file is replaced, since this process means to set values in it.
  auto merged = NSMutableDictionary::dictionary();
  cf_internal::readDomainFile(file, merged.get());
  for (const auto& [key, value] : domain.pending) merged->setObject(value.get(), key);
  if (!cf_internal::writeDomainFile(file, *merged)) return false;
  domain.pending.clear();
  return true;
}

}  // namespace

CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID) {
  if (key == nullptr) return nullptr;
  std::lock_guard guard(gLock);
  Domain* domain = domainFor(domainFile(applicationID));
  if (domain == nullptr) return nullptr;
  id value = nullptr;
  if (auto change = domain->pending.find(std::string_view(key)); change != domain->pending.end()) {
    value = change->second.get();
  } else {
    value = domain->values->objectForKey(key);
  }
  return value != nullptr ? value->retain() : nullptr;
}

void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID) {
  if (key == nullptr) return;
  // Only the types a property-list file keeps.
  if (value != nullptr && objc::cast<NSNumber>(value) == nullptr &&
      objc::cast<NSString>(value) == nullptr) {
    return;
  }
  std::lock_guard guard(gLock);
  Domain* domain = domainFor(domainFile(applicationID));
  if (domain == nullptr) return;
  domain->pending[key] = StrongRef<NSObject>(value);
}

Boolean CFPreferencesAppSynchronize(CFStringRef applicationID) {
  std::lock_guard guard(gLock);
  const std::filesystem::path file = domainFile(applicationID);
  Domain* domain = domainFor(file);
  if (domain == nullptr) return false;
  const bool written = domain->pending.empty() || writePending(file, *domain);
  reload(file, *domain);
  return written;
}
