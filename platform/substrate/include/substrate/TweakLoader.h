#pragma once
// The tweak loader. A host program calls it once at start, after naming its main bundle and
// before its own start-up: every tweak whose filter file in the device's
// Library/MobileSubstrate/DynamicLibraries/ names the host's bundle identifier is loaded, and
// its load-time functions run at once, inside the host.
//
// A filter file `<Tweak>.plist` sits beside its library `<Tweak>.so` and holds
//   { Filter = { Bundles = ( "com.apple.springboard", ... ); }; }
// as an XML or binary property list. A filter that cannot be read, names no bundle or whose
// library is missing is skipped with one log line; the host starts all the same.

#include <cstddef>
#include <string>
#include <vector>

namespace substrate {

// Loads the tweaks for `bundleIdentifier`; returns the libraries loaded, in name order.
std::vector<std::string> loadTweaks(const std::string& bundleIdentifier);

enum class FilterVerdict { matches, other, unreadable, noBundles };

// What the filter file's bytes say about `bundleIdentifier`: named, not named, not a property
// list, or no `Filter.Bundles` array of at least one entry.
FilterVerdict readTweakFilter(const char* bytes, std::size_t length,
                              const std::string& bundleIdentifier);

}  // namespace substrate
