// The eight panes of the Settings app, subclasses of PSListController without state of their own:
// each loads its rows from its specifier file at the first request and keeps them in the base
// class's `_specifiers`. The root pane can also stop the audio daemon.

#include <Foundation/Foundation.h>
#include <Preferences/PSListController.h>

#include <cstdlib>
#include <iterator>
#include <utility>

namespace {

struct Pane {
  const char* className;
  const char* specifierFile;
};

constexpr Pane kPanes[] = {
    {"vellamor2RootListController", "Root"},
    {"vellamor2WaveListController", "Wave"},
    {"vellamor2WaveBarsListController", "WaveBars"},
    {"vellamor2BarsListController", "Bars"},
    {"vellamor2JoyplotListController", "Joyplot"},
    {"vellamor2PrimaryColourListController", "PrimaryColour"},
    {"vellamor2SecondaryColourListController", "SecondaryColour"},
    {"vellamor2BackgroundColourListController", "BackgroundColour"},
};

// The specifier list of a pane of the class `Index` in kPanes, loaded once.
template <std::size_t Index>
id specifiers(id self, SEL) {
  Ivar list = class_getInstanceVariable(object_getClass(self), "_specifiers");
  if (id loaded = object_getIvar(self, list)) return loaded;
  auto name = NSString::stringWithUTF8String(kPanes[Index].specifierFile);
  auto loaded = StrongRef<NSObject>::adopt(
      msgSend<id>(self, "loadSpecifiersFromPlistName:target:", name.get(), self));
  object_setIvar(self, list, loaded.get());
  return loaded.get();
}

void killMediaserverd(id, SEL) {
  // Stops the audio daemon at once; launchd starts it again.
  (void)std::system("killall -9 mediaserverd");
}

template <std::size_t Index>
void definePane() {
  Class cls = objc_allocateClassPair(objc_getClass("PSListController"), kPanes[Index].className, 0);
  if (cls == nullptr) return;
  objc_registerClassPair(cls);
  objc::addMethod(cls, "specifiers", &specifiers<Index>);
  if (Index == 0) objc::addMethod(cls, "killMediaserverd", &killMediaserverd);
}

template <std::size_t... Index>
void definePanes(std::index_sequence<Index...>) {
  (definePane<Index>(), ...);
}

__attribute__((constructor)) void defineListControllers() {
  definePanes(std::make_index_sequence<std::size(kPanes)>());
}

}  // namespace
