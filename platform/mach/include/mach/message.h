#pragma once
// Mach messages as the platform lays them out on 64-bit ARM: a header, an optional body of
// descriptors and the in-line bytes. Only what the system's transport uses is offered.

#include <cstdint>

using natural_t = uint32_t;
using integer_t = int32_t;
using boolean_t = int32_t;
using kern_return_t = int32_t;
using mach_msg_return_t = kern_return_t;
using mach_port_t = natural_t;
using mach_port_name_t = natural_t;
using mach_msg_bits_t = uint32_t;
using mach_msg_size_t = natural_t;
using mach_msg_id_t = integer_t;
using mach_msg_timeout_t = natural_t;
using mach_msg_option_t = integer_t;
using mach_msg_type_name_t = uint32_t;
using mach_msg_copy_options_t = uint32_t;
using mach_msg_descriptor_type_t = uint32_t;
using mach_msg_trailer_type_t = uint32_t;
using mach_msg_trailer_size_t = uint32_t;

inline constexpr mach_port_t MACH_PORT_NULL = 0;

struct mach_msg_header_t {
  mach_msg_bits_t msgh_bits;
  mach_msg_size_t msgh_size;
  mach_port_t msgh_remote_port;
  mach_port_t msgh_local_port;
  mach_port_name_t msgh_voucher_port;
  mach_msg_id_t msgh_id;
};
static_assert(sizeof(mach_msg_header_t) == 24);

struct mach_msg_body_t {
  mach_msg_size_t msgh_descriptor_count;
};

#pragma pack(push, 4)
struct mach_msg_ool_descriptor_t {
  void* address;
  unsigned int deallocate : 8;
  unsigned int copy : 8;
  unsigned int pad1 : 8;
  unsigned int type : 8;
  mach_msg_size_t size;
};
#pragma pack(pop)
static_assert(sizeof(mach_msg_ool_descriptor_t) == 16);

struct mach_msg_trailer_t {
  mach_msg_trailer_type_t msgh_trailer_type;
  mach_msg_trailer_size_t msgh_trailer_size;
};

// Port dispositions.
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_RECEIVE = 16;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_SEND = 17;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_SEND_ONCE = 18;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_COPY_SEND = 19;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MAKE_SEND = 20;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MAKE_SEND_ONCE = 21;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_PORT_SEND = MACH_MSG_TYPE_MOVE_SEND;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_PORT_SEND_ONCE = MACH_MSG_TYPE_MOVE_SEND_ONCE;

inline constexpr mach_msg_bits_t MACH_MSGH_BITS_COMPLEX = 0x80000000u;
constexpr mach_msg_bits_t MACH_MSGH_BITS(mach_msg_type_name_t remote, mach_msg_type_name_t local) {
  return remote | (local << 8);
}
constexpr mach_msg_type_name_t MACH_MSGH_BITS_REMOTE(mach_msg_bits_t bits) {
  return bits & 0x1f;
}
constexpr mach_msg_type_name_t MACH_MSGH_BITS_LOCAL(mach_msg_bits_t bits) {
  return (bits >> 8) & 0x1f;
}

inline constexpr mach_msg_descriptor_type_t MACH_MSG_OOL_DESCRIPTOR = 1;
inline constexpr mach_msg_copy_options_t MACH_MSG_PHYSICAL_COPY = 0;
inline constexpr mach_msg_copy_options_t MACH_MSG_VIRTUAL_COPY = 1;

// Options.
inline constexpr mach_msg_option_t MACH_MSG_OPTION_NONE = 0;
inline constexpr mach_msg_option_t MACH_SEND_MSG = 0x1;
inline constexpr mach_msg_option_t MACH_RCV_MSG = 0x2;
inline constexpr mach_msg_option_t MACH_SEND_TIMEOUT = 0x10;
inline constexpr mach_msg_option_t MACH_RCV_TIMEOUT = 0x100;
inline constexpr mach_msg_timeout_t MACH_MSG_TIMEOUT_NONE = 0;

// Statuses.
inline constexpr mach_msg_return_t MACH_MSG_SUCCESS = 0;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_DATA = 0x10000002;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_DEST = 0x10000003;
inline constexpr mach_msg_return_t MACH_SEND_TIMED_OUT = 0x10000004;
inline constexpr mach_msg_return_t MACH_SEND_INTERRUPTED = 0x10000007;
inline constexpr mach_msg_return_t MACH_SEND_MSG_TOO_SMALL = 0x10000008;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_REPLY = 0x10000009;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_RIGHT = 0x1000000a;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_MEMORY = 0x1000000c;
inline constexpr mach_msg_return_t MACH_SEND_NO_BUFFER = 0x1000000d;
inline constexpr mach_msg_return_t MACH_SEND_TOO_LARGE = 0x1000000e;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_TYPE = 0x1000000f;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_HEADER = 0x10000010;
inline constexpr mach_msg_return_t MACH_RCV_INVALID_NAME = 0x10004002;
inline constexpr mach_msg_return_t MACH_RCV_TIMED_OUT = 0x10004003;
inline constexpr mach_msg_return_t MACH_RCV_TOO_LARGE = 0x10004004;
inline constexpr mach_msg_return_t MACH_RCV_INTERRUPTED = 0x10004005;
inline constexpr mach_msg_return_t MACH_RCV_INVALID_DATA = 0x10004008;
inline constexpr mach_msg_return_t MACH_RCV_PORT_DIED = 0x10004009;

// The message a port receives in place of a reply when the send-once right to it is destroyed
// unused (<mach/notify.h>); it is a bare header. A client that gets it reports MIG_SERVER_DIED.
inline constexpr mach_msg_id_t MACH_NOTIFY_SEND_ONCE = 0107;
inline constexpr kern_return_t MIG_SERVER_DIED = -308;

// Sends and/or receives one message. Time-outs are in milliseconds and apply only with
// MACH_SEND_TIMEOUT / MACH_RCV_TIMEOUT; otherwise the call waits as long as it takes.
mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option,
                           mach_msg_size_t send_size, mach_msg_size_t rcv_size,
                           mach_port_name_t rcv_name, mach_msg_timeout_t timeout,
                           mach_port_name_t notify);
