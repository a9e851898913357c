// SpringBoardServer: the history service in SpringBoard. Its hook of the launch method starts
// the service once SpringBoard has finished launching.

#include <Foundation/Foundation.h>

#include "Vellamor2/HookGroup.h"
#include "Vellamor2/SpringBoardHostClasses.h"
#include "Vellamor2/Startup.h"

namespace SpringBoardServer {
namespace {

constinit SpringBoardHost::ApplicationDidFinishLaunching oldApplicationDidFinishLaunching = nullptr;

// ---- The service start (after SpringBoard's own launch) ----------------------------------------

void startService() {}

// ---- Hooks -------------------------------------------------------------------------------------

void applicationDidFinishLaunching(id self, SEL _cmd, id application) {
  oldApplicationDidFinishLaunching(self, _cmd, application);
  startService();
}

}  // namespace

// ---- Start-up ----------------------------------------------------------------------------------

void startup() {
  if (!vellamor2::isHost("com.apple.springboard")) return;
  vellamor2::logHooked();
  vellamor2::installHookGroup(
      {"SBServerHooks",
       {vellamor2::replaced(SpringBoardHost::kSpringBoard, "applicationDidFinishLaunching:",
                            &applicationDidFinishLaunching, &oldApplicationDidFinishLaunching)}});
}

}  // namespace SpringBoardServer
