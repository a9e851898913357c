// Another process on the test's device: writes preferences, posts and waits for notifications.
//   settings_helper set DOMAIN KEY int|string VALUE [NOTIFICATION]
//   settings_helper remove DOMAIN KEY [NOTIFICATION]
//   settings_helper write-forever DOMAIN          counts "Counter" up until it is killed
//   settings_helper wait NAME MARKER              registers NAME, touches MARKER.ready, then
//                                                 touches MARKER once a post arrives
//   settings_helper state NAME VALUE              sets the notify state of NAME

#include <CoreFoundation/CFNotificationCenter.h>
#include <CoreFoundation/CFPreferences.h>
#include <CoreFoundation/CFRunLoop.h>
#include <Foundation/Foundation.h>
#include <dispatch/dispatch.h>
#include <notify.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void postIfAsked(int argc, char** argv, int index) {
  if (argc > index) {
    CFNotificationCenterPostNotification(CFNotificationCenterGetDarwinNotifyCenter(), argv[index],
                                         nullptr, nullptr, true);
  }
}

void touch(const std::string& path) {
  std::ofstream(path) << "1";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string command = argv[1];
  if (command == "set" && argc >= 6) {
    const std::string type = argv[4];
    StrongRef<NSObject> value;
    if (type == "int") {
      value = NSNumber::numberWithInt(std::atoi(argv[5]));
    } else {
      value = objc::make<NSString>(std::string(argv[5]));
    }
    CFPreferencesSetAppValue(argv[3], value.get(), argv[2]);
    if (!CFPreferencesAppSynchronize(argv[2])) return 1;
    postIfAsked(argc, argv, 6);
    return 0;
  }
  if (command == "remove" && argc >= 4) {
    CFPreferencesSetAppValue(argv[3], nullptr, argv[2]);
    if (!CFPreferencesAppSynchronize(argv[2])) return 1;
    postIfAsked(argc, argv, 4);
    return 0;
  }
  if (command == "write-forever") {
    for (int counter = 1;; ++counter) {
      CFPreferencesSetAppValue("Counter", NSNumber::numberWithInt(counter).get(), argv[2]);
      // Enough entries that a write takes a while, so that a kill can land inside one.
      for (int i = 0; i < 200; ++i) {
        const std::string key = "Filler" + std::to_string(i);
        CFPreferencesSetAppValue(key.c_str(), NSNumber::numberWithInt(counter * i).get(), argv[2]);
      }
      CFPreferencesAppSynchronize(argv[2]);
    }
  }
  if (command == "wait" && argc >= 4) {
    const std::string marker = argv[3];
    int token = 0;
    if (notify_register_dispatch(argv[2], &token, dispatch_get_main_queue(), [marker](int) {
          touch(marker);
          std::exit(0);
        }) != NOTIFY_STATUS_OK) {
      return 1;
    }
    touch(marker + ".ready");
    for (;;) CFRunLoopRunInMode(kCFRunLoopDefaultMode, 1.0, true);
  }
  if (command == "state" && argc >= 4) {
    int token = 0;
    if (notify_register_check(argv[2], &token) != NOTIFY_STATUS_OK) return 1;
    return notify_set_state(token, std::strtoull(argv[3], nullptr, 10)) == NOTIFY_STATUS_OK ? 0 : 1;
  }
  return 2;
}
