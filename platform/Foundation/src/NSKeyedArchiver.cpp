#include "Foundation/NSKeyedArchiver.h"

#include <plist/plist.h>

#include <cstdint>

namespace {

plist_t nodeFor(const NSObject* value) {
  if (const auto* number = objc::cast<NSNumber>(value)) {
    switch (number->kind()) {
      case NSNumber::Kind::boolean:
        return plist_new_bool(number->boolValue() ? 1 : 0);
      case NSNumber::Kind::int32:
      case NSNumber::Kind::int64:
        return plist_new_uint(static_cast<uint64_t>(static_cast<int64_t>(number->integerValue())));
      case NSNumber::Kind::float32:
      case NSNumber::Kind::float64:
        return plist_new_real(number->doubleValue());
    }
  }
  if (const auto* string = objc::cast<NSString>(value))
    return plist_new_string(string->UTF8String());
  return nullptr;
}

plist_t classDescription() {
  plist_t description = plist_new_dict();
  plist_dict_set_item(description, "$classname", plist_new_string("NSMutableDictionary"));
  plist_t classes = plist_new_array();
  plist_array_append_item(classes, plist_new_string("NSMutableDictionary"));
  plist_array_append_item(classes, plist_new_string("NSDictionary"));
  plist_array_append_item(classes, plist_new_string("NSObject"));
  plist_dict_set_item(description, "$classes", classes);
  return description;
}

}  // namespace

StrongRef<NSData> NSKeyedArchiver::archivedDataWithRootObject(const NSObject* root) {
  const auto* dictionary = objc::cast<NSDictionary>(root);
  if (dictionary == nullptr) return nullptr;
  const auto& entries = dictionary->entries();
  const uint64_t count = entries.size();

  plist_t objects = plist_new_array();
  plist_array_append_item(objects, plist_new_string("$null"));
  plist_t body = plist_new_dict();
  plist_t keys = plist_new_array();
  plist_t values = plist_new_array();
  // $objects: "$null", the dictionary, its keys, its values, the class description.
  for (uint64_t index = 0; index < count; ++index) {
    plist_array_append_item(keys, plist_new_uid(2 + index));
    plist_array_append_item(values, plist_new_uid(2 + count + index));
  }
  plist_dict_set_item(body, "NS.keys", keys);
  plist_dict_set_item(body, "NS.objects", values);
  plist_dict_set_item(body, "$class", plist_new_uid(2 + 2 * count));
  plist_array_append_item(objects, body);
  for (const auto& entry : entries)
    plist_array_append_item(objects, plist_new_string(entry.first.c_str()));
  for (const auto& entry : entries) {
    plist_t node = nodeFor(entry.second.get());
    if (node == nullptr) {
      plist_free(objects);
      return nullptr;
    }
    plist_array_append_item(objects, node);
  }
  plist_array_append_item(objects, classDescription());

  plist_t archive = plist_new_dict();
  plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
  plist_dict_set_item(archive, "$version", plist_new_uint(100000));
  plist_t top = plist_new_dict();
  plist_dict_set_item(top, "root", plist_new_uid(1));
  plist_dict_set_item(archive, "$top", top);
  plist_dict_set_item(archive, "$objects", objects);

  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(archive, &bytes, &length);
  plist_free(archive);
  if (bytes == nullptr) return nullptr;
  StrongRef<NSData> data = NSData::dataWithBytes(bytes, length);
  plist_to_bin_free(bytes);
  return data;
}
