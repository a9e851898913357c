// Arbitrary bytes as a settings reply: either a dictionary of numbers and strings or a status.
#include <Foundation/Foundation.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NSKeyedUnarchiverStatus status = NSKeyedUnarchiverStatus::noData;
  StrongRef<NSObject> object = NSKeyedUnarchiver::unarchiveObjectWithBytes(data, size, &status);
  if ((status == NSKeyedUnarchiverStatus::ok) != static_cast<bool>(object)) std::abort();
  if (object) {
    auto* dictionary = objc::cast<NSDictionary>(object.get());
    if (dictionary == nullptr) std::abort();
    // What a plot does with it.
    for (const auto& [key, value] : dictionary->entries()) (void)doubleValueOf(value.get());
    // It archives again.
    if (!NSKeyedArchiver::archivedDataWithRootObject(dictionary)) std::abort();
  }
  return 0;
}
