#include "PropertyListValues.h"

#include <cstdint>

#include "Foundation/NSPropertyListSerialization.h"

namespace cf_internal {

StrongRef<NSObject> valueFromNode(plist_t node) {
  return propertyListScalarFromNode(node);
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
