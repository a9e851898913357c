// Arbitrary bytes as a domain's preferences file.
#include <Foundation/Foundation.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "PreferencesFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto entries = NSMutableDictionary::dictionary();
  const auto status = cf_internal::parseDomainData(data, size, entries.get());
  if (status != cf_internal::DomainFileStatus::ok && entries->count() != 0) std::abort();
  for (const auto& [key, value] : entries->entries()) {
    if (objc::cast<NSNumber>(value.get()) == nullptr &&
        objc::cast<NSString>(value.get()) == nullptr)
      std::abort();
  }
  return 0;
}
