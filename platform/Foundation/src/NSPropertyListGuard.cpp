#include "Foundation/NSPropertyListGuard.h"

#include <plist/plist.h>

#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// Big-endian unsigned integer of `size` bytes (1 to 8) at `at`, when it lies inside the data.
bool readBigEndian(const uint8_t* data, std::size_t length, uint64_t at, unsigned size,
                   uint64_t* out) {
  if (size == 0 || size > 8 || at > length || length - at < size) return false;
  uint64_t value = 0;
  for (unsigned i = 0; i < size; ++i) value = (value << 8) | data[at + i];
  *out = value;
  return true;
}

// An object's element count: the marker's low nibble, or the integer object after it.
bool objectCount(const uint8_t* data, std::size_t end, uint64_t at, uint64_t* count,
                 uint64_t* payload) {
  const uint8_t low = data[at] & 0x0F;
  if (low != 0x0F) {
    *count = low;
    *payload = at + 1;
    return true;
  }
  if (at + 1 >= end || (data[at + 1] & 0xF0) != 0x10) return false;
  const unsigned size = 1u << (data[at + 1] & 0x0F);
  if (!readBigEndian(data, end, at + 2, size, count)) return false;
  *payload = at + 2 + size;
  return true;
}

bool binaryIsSafe(const uint8_t* data, std::size_t length) {
  constexpr std::size_t kTrailer = 32;
  if (length < 8 + kTrailer) return false;
  const uint8_t* trailer = data + length - kTrailer;
  const unsigned offsetSize = trailer[6];
  const unsigned referenceSize = trailer[7];
  uint64_t objects = 0, tableOffset = 0;
  readBigEndian(trailer, kTrailer, 8, 8, &objects);
  readBigEndian(trailer, kTrailer, 24, 8, &tableOffset);
  const std::size_t end = length - kTrailer;  // objects and offsets lie before the trailer
  if (offsetSize == 0 || offsetSize > 8 || referenceSize == 0 || referenceSize > 8) return false;
  if (tableOffset > end || objects > (end - tableOffset) / offsetSize) return false;

  std::size_t containers = 0;
  for (uint64_t i = 0; i < objects; ++i) {
    uint64_t at = 0;
    if (!readBigEndian(data, end, tableOffset + i * offsetSize, offsetSize, &at)) return false;
    if (at < 8 || at >= tableOffset) return false;
    const uint8_t kind = data[at] >> 4;
    uint64_t count = 0, payload = 0;
    switch (kind) {
      case 0x5:    // ASCII string
      case 0x6: {  // UTF-16 string
        if (!objectCount(data, tableOffset, at, &count, &payload)) return false;
        const uint64_t unit = kind == 0x6 ? 2 : 1;
        if (count > (tableOffset - payload) / unit) return false;
        for (uint64_t c = 0; c < count; ++c) {
          const uint8_t* p = data + payload + c * unit;
          if (p[0] == 0 && (unit == 1 || p[1] == 0)) return false;
        }
        break;
      }
      case 0xA:  // array
      case 0xC:  // set
      case 0xD:  // dictionary
        if (++containers > kMaximumPropertyListContainers) return false;
        break;
      default:
        break;
    }
  }
  return true;
}

// "&#0;", "&#x00;" and the like: a character reference to NUL.
bool hasNulReference(std::string_view text) {
  for (std::size_t at = text.find("&#"); at != std::string_view::npos;
       at = text.find("&#", at + 2)) {
    std::size_t p = at + 2;
    if (p < text.size() && (text[p] == 'x' || text[p] == 'X')) ++p;
    const std::size_t digits = p;
    while (p < text.size() && text[p] == '0') ++p;
    if (p > digits && p < text.size() && text[p] == ';') return true;
  }
  return false;
}

std::size_t countOf(std::string_view text, std::string_view what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1))
    ++count;
  return count;
}

bool textIsSafe(const char* data, std::size_t length) {
  const std::string_view text(data, length);
  if (text.find('\0') != std::string_view::npos || hasNulReference(text)) return false;
  return countOf(text, "<array") + countOf(text, "<dict") <= kMaximumPropertyListContainers;
}

}  // namespace

bool propertyListBytesAreSafe(const void* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return false;
  const auto* data = static_cast<const uint8_t*>(bytes);
  // The parser takes exactly this magic for binary; anything else goes to its XML reader.
  if (length >= 8 && std::memcmp(data, "bplist00", 8) == 0) return binaryIsSafe(data, length);
  return textIsSafe(static_cast<const char*>(bytes), length);
}

void* propertyListFromBytes(const void* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0 || length > UINT32_MAX) return nullptr;
  if (!propertyListBytesAreSafe(bytes, length)) return nullptr;
  plist_t root = nullptr;
  plist_from_memory(static_cast<const char*>(bytes), static_cast<uint32_t>(length), &root);
  return root;
}
