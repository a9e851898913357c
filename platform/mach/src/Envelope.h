#pragma once
// One Mach message is one datagram: this envelope, then the message in the 64-bit layout with its
// port fields cleared. The reply right travels as its socket's name inside the run directory; an
// out-of-line body travels as one memfd (SCM_RIGHTS): a chunk of the sender's pool, or a sealed
// memfd of its own; a chunk of a pool the receiving port was handed before travels without it. A
// receive right that is handed out again (a reply port) has a new generation each time, and a
// message names the generation it was sent to, so that a late reply to an earlier exchange is never
// taken for the reply to a later one.

#include <mach/message.h>

#include <cstddef>
#include <cstdint>

namespace mach_stand_in {

inline constexpr uint32_t kEnvelopeMagic = 0x4d534756;  // "VGSM"
inline constexpr size_t kReplyAddressCapacity = 48;
// Largest message carried in-line (header, descriptors and bytes).
inline constexpr mach_msg_size_t kMaxMessageSize = 16 * 1024;
// Largest out-of-line body accepted.
inline constexpr mach_msg_size_t kMaxOutOfLineSize = 64u * 1024 * 1024;
// The trailer every received message carries after its bytes.
inline constexpr mach_msg_size_t kTrailerSize = sizeof(mach_msg_trailer_t);

struct Envelope {
  uint32_t magic;
  uint32_t messageSize;      // bytes of the message that follow the envelope
  uint32_t outOfLineSize;    // bytes of the memfd's body; 0 when none travels
  uint8_t replyDisposition;  // MACH_MSG_TYPE_PORT_SEND(_ONCE), or 0 without a reply port
  uint8_t replyAddressLength;
  uint8_t destinationDisposition;  // what the receiver holds: MACH_MSG_TYPE_PORT_SEND(_ONCE)
  // 1: the memfd is a pool and the body a chunk of it; 2: no memfd travels, the body is a chunk
  // of the sender's pool for its size, handed to this port before
  uint8_t bodyInPool;
  char replyAddress[kReplyAddressCapacity];
  uint32_t outOfLineOffset;        // of the chunk in the pool; 0 otherwise
  uint32_t chunkTicket;            // the chunk's state word while in flight; 0 otherwise
  uint32_t replyGeneration;        // of the reply port named; 0 without one
  uint32_t destinationGeneration;  // of the port sent to, as the right knew it; 0: unknown
};
static_assert(sizeof(Envelope) == 80);

inline constexpr size_t kOutOfLineDescriptorOffset =
    sizeof(mach_msg_header_t) + sizeof(mach_msg_body_t);
inline constexpr size_t kComplexMessageMinimum =
    kOutOfLineDescriptorOffset + sizeof(mach_msg_ool_descriptor_t);

}  // namespace mach_stand_in
