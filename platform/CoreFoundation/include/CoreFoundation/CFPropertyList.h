#pragma once
// Property-list values. Core Foundation's values are Foundation's objects here (toll-free, as on
// the platform): a CFPropertyListRef is an `id` holding an NSNumber (booleans, integers, reals)
// or an NSString. Functions named Copy/Create return a reference that the caller owns: take it
// over with StrongRef<NSObject>::adopt, or call release() on it (CFRelease is the run-loop
// floor's, for its own objects).

#include "CoreFoundation/CFBase.h"
#include "objc/runtime.h"

using CFPropertyListRef = id;
