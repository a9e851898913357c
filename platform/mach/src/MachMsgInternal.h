#pragma once

#include <mach/mach.h>

namespace mach_stand_in {

mach_msg_return_t sendMessage(const mach_msg_header_t* message, mach_msg_option_t option,
                              mach_msg_size_t sendSize, mach_msg_timeout_t timeout);
// `afterSend`: the reply to what was just sent is on its way: it is looked for briefly, with
// the core kept awake, before the thread sleeps on it.
mach_msg_return_t receiveMessage(mach_msg_header_t* message, mach_msg_option_t option,
                                 mach_msg_size_t receiveSize, mach_port_name_t receiveName,
                                 mach_msg_timeout_t timeout, bool afterSend);

}  // namespace mach_stand_in
