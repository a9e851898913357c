#pragma once
// Between libplist nodes and Foundation values, for the scalar types the preferences store keeps.

#include <plist/plist.h>

#include "Foundation/NSValues.h"
#include "objc/StrongRef.h"

namespace cf_internal {

// An NSNumber for booleans, integers and reals, an NSString for strings; null for other nodes.
StrongRef<NSObject> valueFromNode(plist_t node);

// A new node (owned by the caller) for an NSNumber or NSString; null for anything else.
plist_t nodeFromValue(const NSObject* value);

}  // namespace cf_internal
