// Arbitrary bytes as a pane's specifier file; every row that is kept then takes the file's first
// line as a person's input. A kept row has what its kind needs, and an accepted input gives a
// value of the row's default type within its bounds.
#include <Foundation/Foundation.h>
#include <Preferences/PSListController.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = NSPropertyListSerialization::propertyListWithBytes(data, size);
  std::vector<std::string> problems;
  const auto rows = PSSpecifiersFromPropertyList(file.get(), nullptr, &problems);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string_view input = bytes.substr(0, std::min<std::size_t>(bytes.find('\n'), 80));
  for (const auto& object : rows->objects()) {
    const auto* row = objc::cast<PSSpecifier>(object.get());
    if (row == nullptr) std::abort();
    if (row->cellType() == PSLinkListCell &&
        (row->values() == nullptr || row->values()->count() != row->titles()->count()))
      std::abort();
    std::string error;
    const auto value = row->valueFromInput(input, &error);
    if (!value) {
      if (error.empty()) std::abort();
      continue;
    }
    if (row->key().empty() || row->defaultsDomain().empty()) std::abort();
    const auto* standard = objc::cast<NSNumber>(row->propertyForKey("default"));
    const bool real =
        standard->kind() == NSNumber::Kind::float32 || standard->kind() == NSNumber::Kind::float64;
    const bool realValue =
        value->kind() == NSNumber::Kind::float32 || value->kind() == NSNumber::Kind::float64;
    if (real != realValue) std::abort();
    if (row->hasRange() &&
        (value->doubleValue() < row->minimum() || value->doubleValue() > row->maximum()))
      std::abort();
  }
  return 0;
}
