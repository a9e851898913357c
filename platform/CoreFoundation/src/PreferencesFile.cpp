#include "PreferencesFile.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <vector>

#include "Device/DeviceFiles.h"
#include "Foundation/NSPropertyListGuard.h"
#include "PropertyListValues.h"

namespace cf_internal {

DomainFileStatus parseDomainData(const void* bytes, std::size_t length,
                                 NSMutableDictionary* entries) {
  entries->removeAllObjects();
  if (bytes == nullptr || length == 0 || length > kMaximumDomainFileSize) {
    return DomainFileStatus::unreadable;
  }
  plist_t root = propertyListFromBytes(bytes, length);
  if (root == nullptr) return DomainFileStatus::unreadable;
  if (plist_get_node_type(root) != PLIST_DICT) {
    plist_free(root);
    return DomainFileStatus::unreadable;
  }
  plist_dict_iter iterator = nullptr;
  plist_dict_new_iter(root, &iterator);
  for (;;) {
    char* key = nullptr;
    plist_t node = nullptr;
    plist_dict_next_item(root, iterator, &key, &node);
    if (node == nullptr) {
      free(key);
      break;
    }
    if (key != nullptr) {
      if (StrongRef<NSObject> value = valueFromNode(node)) entries->setObject(value.get(), key);
    }
    free(key);
  }
  free(iterator);
  plist_free(root);
  return DomainFileStatus::ok;
}

DomainFileStatus readDomainFile(const std::filesystem::path& file, NSMutableDictionary* entries) {
  entries->removeAllObjects();
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? DomainFileStatus::missing : DomainFileStatus::unreadable;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) > kMaximumDomainFileSize) {
    ::close(fd);
    return DomainFileStatus::unreadable;
  }
  // Read to the end rather than trusting the size: the file may be replaced meanwhile, but the
  // descriptor keeps the one we opened.
  std::vector<char> bytes;
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return DomainFileStatus::unreadable;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
    if (bytes.size() > kMaximumDomainFileSize) {
      ::close(fd);
      return DomainFileStatus::unreadable;
    }
  }
  ::close(fd);
  return parseDomainData(bytes.data(), bytes.size(), entries);
}

bool writeDomainFile(const std::filesystem::path& file, const NSDictionary& entries) {
  plist_t root = plist_new_dict();
  for (const auto& [key, value] : entries.entries()) {
    if (plist_t node = nodeFromValue(value.get())) plist_dict_set_item(root, key.c_str(), node);
  }
  char* xml = nullptr;
  uint32_t length = 0;
  plist_to_xml(root, &xml, &length);
  plist_free(root);
  if (xml == nullptr) return false;

  const bool written = device::replaceFile(file, std::string_view(xml, length));
  plist_to_xml_free(xml);
  return written;
}

}  // namespace cf_internal
