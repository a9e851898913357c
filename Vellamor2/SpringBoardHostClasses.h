#pragma once
// SpringBoard's application class as the service start-up sees it.

#include <objc/runtime.h>

namespace SpringBoardHost {

inline constexpr const char* kSpringBoard = "SpringBoard";

// -[SpringBoard applicationDidFinishLaunching:] (the application object).
using ApplicationDidFinishLaunching = void (*)(id self, SEL _cmd, id application);

}  // namespace SpringBoardHost
