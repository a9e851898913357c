#pragma once
// A check of property-list bytes from outside the process before libplist parses them. libplist
// aborts the process on strings with embedded NUL bytes and recurses once per nesting level, so
// such input is refused here: binary lists are walked object by object with every offset checked,
// XML lists are searched for NUL bytes and NUL character references, and both may hold at most
// kMaximumPropertyListContainers arrays and dictionaries.

#include <cstddef>

inline constexpr std::size_t kMaximumPropertyListContainers = 256;

// True when `bytes` may be handed to libplist's parsers.
bool propertyListBytesAreSafe(const void* bytes, std::size_t length);

// The one way bytes from outside reach libplist: the parsed root (a plist_t that the caller
// frees with plist_free), or null when the guard refuses the bytes or they do not parse.
void* propertyListFromBytes(const void* bytes, std::size_t length);
