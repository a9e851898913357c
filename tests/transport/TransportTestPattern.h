#pragma once
// The bytes the transport tests and their service agree on.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace transport_test {

// The history body: twenty packets of stereo floats and the settings tail.
inline constexpr std::size_t kHistoryBytes = 655372;
// The audio packet body of message 1.
inline constexpr std::size_t kPacketBytes = 32784;

inline uint8_t patternByte(std::size_t index) {
  return static_cast<uint8_t>((index * 31u + 7u) ^ (index >> 8));
}

inline std::vector<uint8_t> patternBytes(std::size_t count) {
  std::vector<uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = patternByte(i);
  return bytes;
}

}  // namespace transport_test
