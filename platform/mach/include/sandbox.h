#pragma once
// The sandbox check. Nothing is sandboxed on this device: every operation is permitted (0).

#include <sys/types.h>

enum sandbox_filter_type {
  SANDBOX_FILTER_NONE = 0,
  SANDBOX_FILTER_PATH = 1,
  SANDBOX_FILTER_GLOBAL_NAME = 2,
  SANDBOX_FILTER_LOCAL_NAME = 3,
};
inline constexpr int SANDBOX_CHECK_NO_REPORT = 0x40000000;

extern "C" int sandbox_check(pid_t pid, const char* operation, int type, ...);
