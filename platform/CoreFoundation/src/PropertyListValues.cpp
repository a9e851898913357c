#include "PropertyListValues.h"

#include <cstdint>

namespace cf_internal {

StrongRef<NSObject> valueFromNode(plist_t node) {
  switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
      uint8_t value = 0;
      plist_get_bool_val(node, &value);
      return NSNumber::numberWithBool(value != 0);
    }
    case PLIST_UINT: {
      // Stored as 64 bits; property-list integers are signed.
      uint64_t value = 0;
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
      auto value = objc::make<NSString>(std::string(text));
      free(text);
      return value;
    }
    default:
      return nullptr;
  }
}

plist_t nodeFromValue(const NSObject* value) {
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
  if (const auto* string = objc::cast<NSString>(value)) {
    return plist_new_string(string->UTF8String());
  }
  return nullptr;
}

}  // namespace cf_internal
