#pragma once
// Core Foundation's base types as this platform spells them. Strings that name things (run-loop
// modes, preference keys, notification names) are plain C strings compared by value.

#include <cstdint>

using CFIndex = long;
using CFTimeInterval = double;
using CFAbsoluteTime = double;
using Boolean = unsigned char;
using CFOptionFlags = unsigned long;
using CFStringRef = const char*;
using CFAllocatorRef = const void*;
using CFTypeRef = const void*;

#define CFSTR(text) (text)

inline constexpr CFAllocatorRef kCFAllocatorDefault = nullptr;

// The Core Foundation version number of the running system; the device's generation sets it.
extern double kCFCoreFoundationVersionNumber;

// Reference counts of the run-loop floor's objects (run-loop sources, timers, Mach ports).
// Objects start with one reference; a null reference is ignored.
CFTypeRef CFRetain(CFTypeRef object);
void CFRelease(CFTypeRef object);

// Seconds since 1 January 2001, 00:00 UTC.
CFAbsoluteTime CFAbsoluteTimeGetCurrent();
