#pragma once
// Property lists from bytes (XML or binary, through the guard of NSPropertyListGuard.h) as
// Foundation objects: dictionaries, arrays, numbers (booleans, integers, reals) and strings.
// Values of other types (data, dates) are left out of their container.

#include <cstddef>
#include <string>

#include "Foundation/NSValues.h"
#include "objc/StrongRef.h"

// A scalar of a parsed property list (the plist_t `node`: a boolean, integer, real or string) as an
// NSNumber or NSString; null for any other node. Every reader of property lists converts through it.
StrongRef<NSObject> propertyListScalarFromNode(void* node);

class NSPropertyListSerialization : public NSObject {
  OBJC_NATIVE_CLASS(NSPropertyListSerialization, NSObject)
 public:
  // The root object (an NSMutableDictionary, NSMutableArray, NSNumber or NSString); null when the
  // bytes are refused, do not parse, or the root is of a type left out.
  static StrongRef<NSObject> propertyListWithBytes(const void* bytes, std::size_t length);

  // The property list in the regular file `path` of at most `maximumLength` bytes; null, with
  // `reason`, when the file cannot be read or holds no property list.
  static StrongRef<NSObject> propertyListWithContentsOfFile(const std::string& path,
                                                            std::size_t maximumLength,
                                                            std::string* reason);
};
