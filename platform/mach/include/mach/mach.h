#pragma once
// Mach ports and messages, as far as this system uses them. A receive right is a Unix datagram
// socket with an address of its own under the device's run/ports; send and send-once rights name
// that address. Port names are this process's numbers.

#include <cstddef>
#include <cstdint>

using natural_t = uint32_t;
using kern_return_t = int;
using mach_port_t = natural_t;
using mach_port_name_t = natural_t;
using mach_port_right_t = natural_t;
using mach_port_delta_t = int;
using mach_msg_return_t = kern_return_t;
using mach_msg_bits_t = uint32_t;
using mach_msg_size_t = uint32_t;
using mach_msg_id_t = int32_t;
using mach_msg_option_t = int32_t;
using mach_msg_timeout_t = uint32_t;
using mach_msg_type_name_t = uint32_t;
using mach_vm_address_t = uint64_t;
using vm_address_t = uintptr_t;
using vm_size_t = uintptr_t;
using task_t = mach_port_t;
using ipc_space_t = mach_port_t;

inline constexpr mach_port_t MACH_PORT_NULL = 0;

// Statuses, with the platform's values.
inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr kern_return_t KERN_INVALID_ADDRESS = 1;
inline constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;
inline constexpr kern_return_t KERN_FAILURE = 5;
inline constexpr kern_return_t KERN_RESOURCE_SHORTAGE = 6;
inline constexpr kern_return_t KERN_INVALID_NAME = 15;
inline constexpr kern_return_t KERN_INVALID_RIGHT = 17;
inline constexpr kern_return_t KERN_INVALID_VALUE = 18;
inline constexpr mach_msg_return_t MACH_MSG_SUCCESS = 0;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_DATA = 0x10000002;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_DEST = 0x10000003;
inline constexpr mach_msg_return_t MACH_SEND_TIMED_OUT = 0x10000004;
inline constexpr mach_msg_return_t MACH_SEND_INTERRUPTED = 0x10000007;
inline constexpr mach_msg_return_t MACH_SEND_MSG_TOO_SMALL = 0x10000008;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_REPLY = 0x10000009;
inline constexpr mach_msg_return_t MACH_SEND_INVALID_HEADER = 0x10000010;
inline constexpr mach_msg_return_t MACH_SEND_NO_BUFFER = 0x1000000d;
inline constexpr mach_msg_return_t MACH_SEND_TOO_LARGE = 0x1000000a;
inline constexpr mach_msg_return_t MACH_RCV_INVALID_NAME = 0x10004002;
inline constexpr mach_msg_return_t MACH_RCV_TIMED_OUT = 0x10004003;
inline constexpr mach_msg_return_t MACH_RCV_TOO_LARGE = 0x10004004;
inline constexpr mach_msg_return_t MACH_RCV_INTERRUPTED = 0x10004005;
inline constexpr mach_msg_return_t MACH_RCV_INVALID_DATA = 0x10004008;

// Rights.
inline constexpr mach_port_right_t MACH_PORT_RIGHT_SEND = 0;
inline constexpr mach_port_right_t MACH_PORT_RIGHT_RECEIVE = 1;
inline constexpr mach_port_right_t MACH_PORT_RIGHT_SEND_ONCE = 2;

// Special ports.
inline constexpr int TASK_BOOTSTRAP_PORT = 4;

// Port dispositions in the header bits.
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_RECEIVE = 16;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_SEND = 17;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MOVE_SEND_ONCE = 18;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_COPY_SEND = 19;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MAKE_SEND = 20;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_MAKE_SEND_ONCE = 21;
inline constexpr mach_msg_type_name_t MACH_MSG_TYPE_PORT_SEND_ONCE = MACH_MSG_TYPE_MOVE_SEND_ONCE;
inline constexpr mach_msg_bits_t MACH_MSGH_BITS_COMPLEX = 0x80000000u;
inline constexpr mach_msg_bits_t MACH_MSGH_BITS_REMOTE(mach_msg_bits_t bits) {
  return bits & 0x1f;
}
inline constexpr mach_msg_bits_t MACH_MSGH_BITS_LOCAL(mach_msg_bits_t bits) {
  return (bits >> 8) & 0x1f;
}

// Options of mach_msg.
inline constexpr mach_msg_option_t MACH_MSG_OPTION_NONE = 0;
inline constexpr mach_msg_option_t MACH_SEND_MSG = 0x1;
inline constexpr mach_msg_option_t MACH_RCV_MSG = 0x2;
inline constexpr mach_msg_option_t MACH_SEND_TIMEOUT = 0x10;
inline constexpr mach_msg_option_t MACH_RCV_TIMEOUT = 0x100;
inline constexpr mach_msg_timeout_t MACH_MSG_TIMEOUT_NONE = 0;

// Descriptors.
inline constexpr uint32_t MACH_MSG_OOL_DESCRIPTOR = 1;
inline constexpr uint32_t MACH_MSG_VIRTUAL_COPY = 1;
inline constexpr uint32_t MACH_MSG_PHYSICAL_COPY = 0;

#pragma pack(push, 4)
struct mach_msg_header_t {
  mach_msg_bits_t msgh_bits;
  mach_msg_size_t msgh_size;
  mach_port_t msgh_remote_port;
  mach_port_t msgh_local_port;
  mach_port_name_t msgh_voucher_port;
  mach_msg_id_t msgh_id;
};

struct mach_msg_body_t {
  mach_msg_size_t msgh_descriptor_count;
};

// The out-of-line memory descriptor of the 64-bit layout: address, flags word, size.
struct mach_msg_ool_descriptor_t {
  uint64_t address;
  uint32_t deallocate : 8;
  uint32_t copy : 8;
  uint32_t pad1 : 8;
  uint32_t type : 8;
  mach_msg_size_t size;
};

struct mach_msg_trailer_t {
  uint32_t msgh_trailer_type;
  mach_msg_size_t msgh_trailer_size;
};
#pragma pack(pop)

static_assert(sizeof(mach_msg_header_t) == 24);
static_assert(sizeof(mach_msg_ool_descriptor_t) == 16);

mach_port_t mach_task_self();
kern_return_t task_get_special_port(task_t task, int which, mach_port_t* port);
kern_return_t mach_port_allocate(ipc_space_t task, mach_port_right_t right, mach_port_name_t* name);
kern_return_t mach_port_mod_refs(ipc_space_t task, mach_port_name_t name, mach_port_right_t right,
                                 mach_port_delta_t delta);
kern_return_t mach_port_deallocate(ipc_space_t task, mach_port_name_t name);
// Adds a send right to a receive right that this process holds (MACH_MSG_TYPE_MAKE_SEND).
kern_return_t mach_port_insert_right(ipc_space_t task, mach_port_name_t name, mach_port_t right,
                                     mach_msg_type_name_t disposition);

// Sends, receives, or both in one call. Time-outs are in milliseconds. A received out-of-line
// body is mapped read-only in this process; vm_deallocate unmaps it.
mach_msg_return_t mach_msg(mach_msg_header_t* msg, mach_msg_option_t option,
                           mach_msg_size_t send_size, mach_msg_size_t rcv_size,
                           mach_port_name_t rcv_name, mach_msg_timeout_t timeout,
                           mach_port_name_t notify);

kern_return_t vm_deallocate(mach_port_t task, vm_address_t address, vm_size_t size);

// ---- Platform extensions (for the run loop's Mach-port sources, tests and diagnostics) ----------

// The descriptor that becomes readable when a message waits on the receive right `name`; -1 when
// `name` is no receive right of this process.
int mach_port_get_descriptor(mach_port_name_t name);

struct mach_port_statistics_t {
  uint64_t dropped;       // datagrams refused on receipt (malformed, foreign user, bad body)
  uint64_t openMappings;  // out-of-line bodies mapped and not yet deallocated
  uint64_t rights;        // port names in use in this process
};
mach_port_statistics_t mach_port_get_statistics();
