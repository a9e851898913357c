#include <plist/plist.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSPropertyListGuard.h"
#include "Foundation/NSPropertyListSerialization.h"

namespace {

using Status = NSKeyedUnarchiverStatus;

struct PlistDeleter {
  void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using OwnedPlist = std::unique_ptr<void, PlistDeleter>;

bool isType(plist_t node, plist_type type) {
  return node != nullptr && plist_get_node_type(node) == type;
}

std::string stringOf(plist_t node) {
  char* text = nullptr;
  plist_get_string_val(node, &text);
  std::string out = text != nullptr ? text : "";
  std::free(text);
  return out;
}

// Follows a UID into "$objects"; null when it is no UID or points outside.
plist_t resolve(plist_t objects, plist_t reference) {
  if (!isType(reference, PLIST_UID)) return nullptr;
  uint64_t index = 0;
  plist_get_uid_val(reference, &index);
  if (index >= plist_array_get_size(objects)) return nullptr;
  return plist_array_get_item(objects, static_cast<uint32_t>(index));
}

bool isDictionaryClass(plist_t objects, plist_t classReference) {
  plist_t description = resolve(objects, classReference);
  if (!isType(description, PLIST_DICT)) return false;
  plist_t name = plist_dict_get_item(description, "$classname");
  if (!isType(name, PLIST_STRING)) return false;
  const std::string className = stringOf(name);
  return className == "NSDictionary" || className == "NSMutableDictionary";
}

Status decode(plist_t archive, StrongRef<NSObject>* out) {
  if (!isType(archive, PLIST_DICT)) return Status::notArchive;
  plist_t archiver = plist_dict_get_item(archive, "$archiver");
  plist_t top = plist_dict_get_item(archive, "$top");
  plist_t objects = plist_dict_get_item(archive, "$objects");
  if (!isType(archiver, PLIST_STRING) || stringOf(archiver) != "NSKeyedArchiver" ||
      !isType(top, PLIST_DICT) || !isType(objects, PLIST_ARRAY)) {
    return Status::notArchive;
  }
  plist_t root = resolve(objects, plist_dict_get_item(top, "root"));
  if (!isType(root, PLIST_DICT)) return Status::badReference;
  if (!isDictionaryClass(objects, plist_dict_get_item(root, "$class"))) {
    return Status::unsupportedObject;
  }
  plist_t keys = plist_dict_get_item(root, "NS.keys");
  plist_t values = plist_dict_get_item(root, "NS.objects");
  if (!isType(keys, PLIST_ARRAY) || !isType(values, PLIST_ARRAY) ||
      plist_array_get_size(keys) != plist_array_get_size(values)) {
    return Status::notArchive;
  }
  auto dictionary = NSMutableDictionary::dictionary();
  const uint32_t count = plist_array_get_size(keys);
  for (uint32_t i = 0; i < count; ++i) {
    plist_t key = resolve(objects, plist_array_get_item(keys, i));
    plist_t value = resolve(objects, plist_array_get_item(values, i));
    if (key == nullptr || value == nullptr) return Status::badReference;
    if (!isType(key, PLIST_STRING)) return Status::unsupportedObject;
    StrongRef<NSObject> object = propertyListScalarFromNode(value);
    if (!object) return Status::unsupportedObject;
    dictionary->setObject(object.get(), stringOf(key));
  }
  *out = std::move(dictionary);
  return Status::ok;
}

}  // namespace

StrongRef<NSObject> NSKeyedUnarchiver::unarchiveObjectWithData(const NSData* data,
                                                               NSKeyedUnarchiverStatus* status) {
  if (data == nullptr) {
    if (status != nullptr) *status = Status::noData;
    return nullptr;
  }
  return unarchiveObjectWithBytes(data->bytes(), data->length(), status);
}

StrongRef<NSObject> NSKeyedUnarchiver::unarchiveObjectWithBytes(const void* bytes,
                                                                std::size_t length,
                                                                NSKeyedUnarchiverStatus* status) {
  Status result = Status::ok;
  StrongRef<NSObject> object;
  static constexpr char kMagic[] = "bplist00";
  if (bytes == nullptr || length == 0) {
    result = Status::noData;
  } else if (length > kMaximumArchiveLength) {
    result = Status::tooLarge;
  } else if (length < sizeof kMagic - 1 || std::memcmp(bytes, kMagic, sizeof kMagic - 1) != 0) {
    result = Status::notPropertyList;
  } else if (!propertyListBytesAreSafe(bytes, length)) {
    result = Status::notPropertyList;
  } else {
    plist_t parsed = nullptr;
    plist_from_bin(static_cast<const char*>(bytes), static_cast<uint32_t>(length), &parsed);
    const OwnedPlist archive(parsed);
    result = archive ? decode(parsed, &object) : Status::notPropertyList;
  }
  if (status != nullptr) *status = result;
  return result == Status::ok ? object : nullptr;
}

const char* NSKeyedUnarchiver::describeStatus(NSKeyedUnarchiverStatus status) {
  switch (status) {
    case Status::ok:
      return "ok";
    case Status::noData:
      return "no data";
    case Status::tooLarge:
      return "archive too large";
    case Status::notPropertyList:
      return "not a binary property list";
    case Status::notArchive:
      return "not a keyed archive";
    case Status::badReference:
      return "reference outside the archive's objects";
    case Status::unsupportedObject:
      return "not a dictionary of numbers and strings";
  }
  return "unknown";
}
