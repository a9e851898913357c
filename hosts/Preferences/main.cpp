// Preferences: the Settings app; not a host of the tweak, though the hooking runtime looks for
// tweaks that name it like in any other app.

#include <HostCommon/HostProgram.h>

int main() {
  host::HostProgram program("com.apple.Preferences");
  program.start(nullptr);
  return program.run();
}
