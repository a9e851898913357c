#pragma once
// One Mach message is one datagram: a small envelope (the reply port's address, when the sender
// made a send-once right for it), then the message bytes exactly as the sender laid them out.
// An out-of-line body travels beside it as a sealed memfd.

#include <cstdint>

#include "PortSpace.h"

namespace mach_internal {

inline constexpr uint32_t kEnvelopeMagic = 0x564d5347;  // "VMSG"

struct Envelope {
  uint32_t magic;
  uint32_t replyAddressLength;  // 0: no reply port
  char replyAddress[kMaxAddressLength + 1];
};

// The largest message accepted on either side.
inline constexpr std::size_t kMaxMessageSize = 64 * 1024;

// Offsets inside a message of the 64-bit layout.
inline constexpr std::size_t kDescriptorCountOffset = sizeof(mach_msg_header_t);
inline constexpr std::size_t kFirstDescriptorOffset = kDescriptorCountOffset + 4;
inline constexpr std::size_t kComplexMinimumSize =
    kFirstDescriptorOffset + sizeof(mach_msg_ool_descriptor_t);

}  // namespace mach_internal
