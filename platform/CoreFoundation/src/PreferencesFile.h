#pragma once
// A domain's property-list file: parsing it (XML or binary, a dictionary at the root) and
// replacing it whole.

#include <cstddef>
#include <filesystem>

#include "Foundation/NSValues.h"
#include "objc/StrongRef.h"

namespace cf_internal {

enum class DomainFileStatus { ok, missing, unreadable };

// Files larger than this are not settings; they read as unreadable.
inline constexpr std::size_t kMaximumDomainFileSize = 4 * 1024 * 1024;

// The entries of a domain file's bytes; `unreadable` (and no entries) for anything that is not a
// property list with a dictionary at its root. Entries of unsupported types are left out.
DomainFileStatus parseDomainData(const void* bytes, std::size_t length,
                                 NSMutableDictionary* entries);

DomainFileStatus readDomainFile(const std::filesystem::path& file, NSMutableDictionary* entries);

// Writes `entries` as an XML property list to a temporary file beside `file`, syncs it, renames
// it over `file` and syncs the folder (device::replaceFile). The caller holds the domain's lock.
bool writeDomainFile(const std::filesystem::path& file, const NSDictionary& entries);

}  // namespace cf_internal
