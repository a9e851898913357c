#include "Foundation/NSPropertyListSerialization.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "Foundation/NSArray.h"
#include "Foundation/NSPropertyListGuard.h"

StrongRef<NSObject> propertyListScalarFromNode(void* node) {
  switch (plist_get_node_type(static_cast<plist_t>(node))) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return NSNumber::numberWithBool(value != 0);
    }
    case PLIST_UINT: {
      uint64_t value = 0;  // stored as 64 bits; property-list integers are signed
      plist_get_uint_val(node, &value);
      return NSNumber::numberWithInteger(static_cast<long>(static_cast<int64_t>(value)));
    }
    case PLIST_REAL: {
      double value = 0;
      plist_get_real_val(node, &value);
      return NSNumber::numberWithDouble(value);
    }
    case PLIST_STRING: {
      char* text = nullptr;
      plist_get_string_val(node, &text);
      if (text == nullptr) return nullptr;
      auto value = NSString::stringWithUTF8String(text);
      std::free(text);
      return value;
    }
    default:
      return nullptr;
  }
}

namespace {

// Recursion is bounded: the guard lets through at most kMaximumPropertyListContainers containers.
StrongRef<NSObject> objectFromNode(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_ARRAY: {
      auto array = NSMutableArray::array();
      const uint32_t count = plist_array_get_size(node);
      for (uint32_t i = 0; i < count; ++i) {
        if (auto element = objectFromNode(plist_array_get_item(node, i)))
          array->addObject(element.get());
      }
      return array;
    }
    case PLIST_DICT: {
      auto dictionary = NSMutableDictionary::dictionary();
      plist_dict_iter iterator = nullptr;
      plist_dict_new_iter(node, &iterator);
      for (;;) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iterator, &key, &item);
        if (item == nullptr) {
          std::free(key);
          break;
        }
        if (key != nullptr) {
          if (auto value = objectFromNode(item)) dictionary->setObject(value.get(), key);
        }
        std::free(key);
      }
      std::free(iterator);
      return dictionary;
    }
    default:
      return propertyListScalarFromNode(node);
  }
}

// The whole regular file, when it has at most `limit` bytes.
bool readFile(const std::string& path, std::size_t limit, std::string* bytes, std::string* reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return *reason = std::strerror(errno), false;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) > limit) {
    ::close(fd);
    return *reason = "not a regular file of at most " + std::to_string(limit) + " bytes", false;
  }
  char chunk[16384];
  ssize_t n = 0;
  // Read to the end rather than trusting the size: the file may grow meanwhile.
  while ((n = ::read(fd, chunk, sizeof chunk)) != 0 && bytes->size() <= limit) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    bytes->append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (n < 0) return *reason = std::strerror(errno), false;
  if (bytes->size() > limit)
    return *reason = "larger than " + std::to_string(limit) + " bytes", false;
  return true;
}

}  // namespace

StrongRef<NSObject> NSPropertyListSerialization::propertyListWithContentsOfFile(
    const std::string& path, std::size_t maximumLength, std::string* reason) {
  std::string ignored;
  if (reason == nullptr) reason = &ignored;
  std::string bytes;
  if (!readFile(path, maximumLength, &bytes, reason)) return nullptr;
  StrongRef<NSObject> object = propertyListWithBytes(bytes.data(), bytes.size());
  if (!object) *reason = "not a property list";
  return object;
}

StrongRef<NSObject> NSPropertyListSerialization::propertyListWithBytes(const void* bytes,
                                                                       std::size_t length) {
  plist_t root = propertyListFromBytes(bytes, length);
  if (root == nullptr) return nullptr;
  StrongRef<NSObject> object = objectFromNode(root);
  plist_free(root);
  return object;
}
