// Preferences: the Settings app; not a host of the tweak, though the hooking runtime looks for
// tweaks that name it like in any other app. Once launched it loads the preference bundles of its
// entries, shows the first one's root pane and offers what a person does with their panes through
// its control service.

#include <HostCommon/HostProgram.h>

#include "SettingsApp.h"
#include "SettingsControl.h"

namespace {

void finishLaunching() {
  settings_app::loadEntries();
  settings_app::startControlService();
}

}  // namespace

int main() {
  host::HostProgram program("com.apple.Preferences");
  program.start(nullptr);
  program.whenLaunched(&finishLaunching);
  return program.run();
}
