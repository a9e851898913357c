#pragma once
// The sandbox check. This device has no sandbox: every operation is permitted (0).

#include <sys/types.h>

inline constexpr int SANDBOX_FILTER_GLOBAL_NAME = 2;
inline constexpr int SANDBOX_FILTER_LOCAL_NAME = 3;
inline constexpr int SANDBOX_CHECK_NO_REPORT = 0x40000000;

int sandbox_check(pid_t pid, const char* operation, int type, ...);
