#pragma once
// The message layouts of the transport on 32-bit and 64-bit ARM. They differ only in the
// out-of-line descriptor; the size arithmetic is written once for both so each can be checked,
// while the wire uses this machine's 64-bit layout.

#include <cstddef>
#include <cstdint>
#include <cstring>

template <int PointerBits>
struct LMLayout {
  static_assert(PointerBits == 32 || PointerBits == 64);
  static constexpr std::size_t kDescriptorCountOffset = 24;
  static constexpr std::size_t kInlineLengthOffset = 28;
  static constexpr std::size_t kInlineBytesOffset = 32;
  static constexpr std::size_t kAddressOffset = 28;
  static constexpr std::size_t kAddressSize = PointerBits / 8;
  static constexpr std::size_t kSizeOffset = PointerBits == 64 ? 40 : 32;
  static constexpr std::size_t kFlagsOffset = 36;
  // The layout without body bytes; as a header size it marks an out-of-line body.
  static constexpr uint32_t kBareSize = PointerBits == 64 ? 44 : 40;
  static constexpr uint32_t kMaxInlineBody = 4096;
  static constexpr uint32_t kLargestMessage = kBareSize + kMaxInlineBody;  // 4,136 / 4,140
  static constexpr uint32_t kResponseBufferSize = PointerBits == 64 ? 4208 : 4200;
  // The in-line length as reported: the largest message less what stands before the bytes.
  static constexpr uint32_t kMaxReportedInlineLength =
      kLargestMessage - kInlineBytesOffset;  // 4,104 / 4,108
  // Flags word of the out-of-line descriptor: deallocate 0, copy 1 (virtual), type 1.
  static constexpr uint32_t kOutOfLineFlags = 0x01000100;
  static constexpr uint32_t kComplexBit = 0x80000000u;

  static uint32_t read32(const void* message, std::size_t offset) {
    uint32_t value;
    std::memcpy(&value, static_cast<const char*>(message) + offset, sizeof value);
    return value;
  }
  static void write32(void* message, std::size_t offset, uint32_t value) {
    std::memcpy(static_cast<char*>(message) + offset, &value, sizeof value);
  }
  static uintptr_t readAddress(const void* message) {
    if constexpr (PointerBits == 64) {
      uint64_t value;
      std::memcpy(&value, static_cast<const char*>(message) + kAddressOffset, sizeof value);
      return static_cast<uintptr_t>(value);
    } else {
      return read32(message, kAddressOffset);
    }
  }
  static void writeAddress(void* message, const void* address) {
    if constexpr (PointerBits == 64) {
      const uint64_t value = reinterpret_cast<uintptr_t>(address);
      std::memcpy(static_cast<char*>(message) + kAddressOffset, &value, sizeof value);
    } else {
      write32(message, kAddressOffset, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address)));
    }
  }

  // The message size for a body of `length` bytes: the bare layout for an out-of-line body,
  // otherwise the layout plus the bytes raised to a multiple of 4.
  static constexpr uint32_t bufferSizeForLength(uint32_t length) {
    if (length > kMaxInlineBody) return kBareSize;
    return (kBareSize + length + 3u) & ~3u;
  }

  // Puts the body into a message whose header size is already set.
  static void assignData(void* message, const void* data, uint32_t length) {
    if (length == 0) {
      write32(message, kDescriptorCountOffset, 0);
      write32(message, kInlineLengthOffset, 0);
    } else if (read32(message, 4) != kBareSize) {
      write32(message, kDescriptorCountOffset, 0);
      write32(message, kInlineLengthOffset, length);
      std::memcpy(static_cast<char*>(message) + kInlineBytesOffset, data, length);
      // The fill up to the header size goes on the wire too: never whatever the buffer held.
      const uint32_t end = kInlineBytesOffset + length;
      const uint32_t size = read32(message, 4);
      if (size > end) std::memset(static_cast<char*>(message) + end, 0, size - end);
    } else {
      assignOutOfLine(message, data, length);
    }
  }

  static void assignOutOfLine(void* message, const void* data, uint32_t length) {
    write32(message, 0, read32(message, 0) | kComplexBit);
    write32(message, kDescriptorCountOffset, 1);
    writeAddress(message, data);
    write32(message, kFlagsOffset, kOutOfLineFlags);
    write32(message, kSizeOffset, length);
  }

  // A descriptor counts only in a complex message: a plain message whose body merely claims a
  // descriptor carries no out-of-line memory, and its claimed address is never read.
  static bool hasDescriptor(const void* message) {
    return read32(message, kDescriptorCountOffset) != 0 && (read32(message, 0) & kComplexBit) != 0;
  }
  static bool claimsDescriptor(const void* message) {
    return read32(message, kDescriptorCountOffset) != 0;
  }

  static const void* getData(const void* message) {
    if (hasDescriptor(message)) return reinterpret_cast<const void*>(readAddress(message));
    if (claimsDescriptor(message)) return nullptr;
    if (read32(message, kInlineLengthOffset) != 0)
      return static_cast<const char*>(message) + kInlineBytesOffset;
    return nullptr;
  }

  static uint32_t getDataLength(const void* message) {
    if (hasDescriptor(message)) return read32(message, kSizeOffset);
    if (claimsDescriptor(message)) return 0;
    const uint32_t length = read32(message, kInlineLengthOffset);
    return length > kMaxReportedInlineLength ? kMaxReportedInlineLength : length;
  }
};

using LMLayout32 = LMLayout<32>;
using LMLayout64 = LMLayout<64>;
using LMNativeLayout = LMLayout<static_cast<int>(sizeof(void*) * 8)>;
