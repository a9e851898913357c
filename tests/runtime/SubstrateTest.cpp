// The hooking runtime: method hooks that keep the previous implementation, instance variables by
// name, function hooks of hookable stand-in functions, images and symbols by phone path.

#include <AudioToolbox/AudioToolbox.h>
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <substrate.h>

#include <filesystem>
#include <string>
#include <vector>

#include "TempDevice.h"
#include "objc/StrongRef.h"
#include "objc/message.h"

namespace {

std::vector<std::string> calls;

id hostTitleFor(id self, SEL, id value, int count) {
  calls.push_back("host " + std::to_string(count));
  return count > 0 ? value : self;
}

id (*previousTitleFor)(id, SEL, id, int) = nullptr;

id hookedTitleFor(id self, SEL cmd, id value, int count) {
  calls.push_back("hook before");
  id result = previousTitleFor(self, cmd, value, count);
  calls.push_back("hook after");
  return result;
}

Class defineClass(const char* name, const char* superclass) {
  Class cls = objc_allocateClassPair(objc_getClass(superclass), name, 0);
  class_addIvar(cls, "_title", sizeof(id), 3, "@");
  objc_registerClassPair(cls);
  return cls;
}

TEST(MethodHooks, ReplacementRunsAndReachesTheHostImplementationWithItsArguments) {
  Class cls = defineClass("HookedHost", "NSObject");
  ASSERT_TRUE(objc::addMethod(cls, "titleFor:count:", &hostTitleFor));
  StrongRef<NSObject> object = StrongRef<NSObject>::adopt(class_createInstance(cls));
  auto value = objc::make<NSObject>();

  MSHookMessageEx(cls, sel_registerName("titleFor:count:"), &hookedTitleFor, &previousTitleFor);
  ASSERT_EQ(previousTitleFor, &hostTitleFor);
  calls.clear();
  EXPECT_EQ(msgSend<id>(object.get(), "titleFor:count:", value.get(), 3), value.get());
  EXPECT_EQ(calls, (std::vector<std::string>{"hook before", "host 3", "hook after"}));
  EXPECT_EQ(msgSend<id>(object.get(), "titleFor:count:", value.get(), 0), object.get());
}

TEST(MethodHooks, InheritedMethodIsOverriddenOnlyInTheHookedClass) {
  Class base = defineClass("HookBase", "NSObject");
  Class derived = defineClass("HookDerived", "HookBase");
  Class grandchild = defineClass("HookGrandchild", "HookDerived");
  ASSERT_TRUE(objc::addMethod(base, "titleFor:count:", &hostTitleFor));
  MSHookMessageEx(derived, sel_registerName("titleFor:count:"), &hookedTitleFor, &previousTitleFor);
  EXPECT_EQ(previousTitleFor, &hostTitleFor);

  StrongRef<NSObject> baseObject = StrongRef<NSObject>::adopt(class_createInstance(base));
  StrongRef<NSObject> leaf = StrongRef<NSObject>::adopt(class_createInstance(grandchild));
  calls.clear();
  msgSend<id>(baseObject.get(), "titleFor:count:", nullptr, 1);
  EXPECT_EQ(calls, (std::vector<std::string>{"host 1"}));
  calls.clear();
  msgSend<id>(leaf.get(), "titleFor:count:", nullptr, 2);
  EXPECT_EQ(calls, (std::vector<std::string>{"hook before", "host 2", "hook after"}));
}

TEST(MethodHooks, MissingClassOrMethodInstallsNothing) {
  previousTitleFor = nullptr;
  MSHookMessageEx(objc_getClass("NoSuchHostClass"), sel_registerName("titleFor:count:"),
                  &hookedTitleFor, &previousTitleFor);
  EXPECT_EQ(previousTitleFor, nullptr);

  Class cls = defineClass("HostWithoutTheMethod", "NSObject");
  MSHookMessageEx(cls, sel_registerName("titleFor:count:"), &hookedTitleFor, &previousTitleFor);
  EXPECT_EQ(previousTitleFor, nullptr);
  EXPECT_EQ(class_getInstanceMethod(cls, sel_registerName("titleFor:count:")), nullptr);
}

TEST(InstanceVariables, ReachedByNameThroughTheObjectsClassOrNullWhenMissing) {
  defineClass("IvarBase", "NSObject");
  Class derived = defineClass("IvarDerived", "IvarBase");
  StrongRef<NSObject> object = StrongRef<NSObject>::adopt(class_createInstance(derived));
  auto title = objc::make<NSObject>();
  object_setIvar(object.get(), class_getInstanceVariable(derived, "_title"), title.get());

  auto found = MSHookIvar<id>(object.get(), "_title");
  ASSERT_TRUE(found);
  EXPECT_EQ(*found, title.get());
  EXPECT_EQ(found.value(), title.get());

  auto missing = MSHookIvar<id>(object.get(), "_artworkView");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.get(), nullptr);
  EXPECT_EQ(missing.value(), nullptr);
  EXPECT_FALSE(MSHookIvar<id>(nullptr, "_title"));
}

// ---- Functions and images ----------------------------------------------------------------------

constexpr const char* kAudioToolboxPhonePath =
    "/System/Library/Frameworks/AudioToolbox.framework/AudioToolbox";

struct RenderCall {
  AudioUnit unit;
  UInt32 bus;
  UInt32 frames;
};
std::vector<RenderCall> renders;
decltype(&AudioUnitRender) previousRender = nullptr;

OSStatus replacementRender(AudioUnit unit, AudioUnitRenderActionFlags* flags,
                           const AudioTimeStamp* time, UInt32 bus, UInt32 frames,
                           AudioBufferList* buffers) {
  renders.push_back({unit, bus, frames});
  return previousRender(unit, flags, time, bus, frames, buffers);
}

// A device whose AudioToolbox is the loaded stand-in, as the device's install links it.
class FunctionHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    Dl_info where{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&AudioUnitRender), &where), 0);
    const auto phoneFile = device_.path() / std::string(kAudioToolboxPhonePath).substr(1);
    std::filesystem::create_directories(phoneFile.parent_path());
    std::filesystem::create_symlink(std::filesystem::canonical(where.dli_fname), phoneFile);
  }
  testing_support::TempDevice device_;
};

TEST_F(FunctionHooks, RenderIsFoundByPhonePathAndSymbolAndReplaced) {
  AudioUnitRenderActionFlags flags = 0;
  AudioTimeStamp time{};
  const OSStatus unhooked = AudioUnitRender(nullptr, &flags, &time, 0, 512, nullptr);

  MSImageRef image = MSGetImageByName(kAudioToolboxPhonePath);
  ASSERT_NE(image, nullptr);
  void* symbol = MSFindSymbol(image, "_AudioUnitRender");
  ASSERT_EQ(symbol, reinterpret_cast<void*>(&AudioUnitRender));
  MSHookFunction(reinterpret_cast<decltype(&AudioUnitRender)>(symbol), &replacementRender,
                 &previousRender);
  ASSERT_NE(previousRender, nullptr);

  const OSStatus hooked = AudioUnitRender(nullptr, &flags, &time, 1, 256, nullptr);
  EXPECT_EQ(hooked, unhooked);
  ASSERT_EQ(renders.size(), 1u);
  EXPECT_EQ(renders[0].bus, 1u);
  EXPECT_EQ(renders[0].frames, 256u);
  // Through the kept entry the function runs as before, without the replacement.
  EXPECT_EQ(previousRender(nullptr, &flags, &time, 0, 512, nullptr), unhooked);
  EXPECT_EQ(renders.size(), 1u);
}

TEST_F(FunctionHooks, UnknownImagesSymbolsAndUnhookableFunctionsGiveNothing) {
  EXPECT_EQ(MSGetImageByName("/System/Library/Frameworks/Nothing.framework/Nothing"), nullptr);
  EXPECT_EQ(MSGetImageByName(nullptr), nullptr);
  MSImageRef image = MSGetImageByName(kAudioToolboxPhonePath);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(MSFindSymbol(image, "_NoSuchFunction"), nullptr);
  EXPECT_EQ(MSFindSymbol(image, "AudioUnitRender"), nullptr);  // the phone's names carry '_'
  EXPECT_EQ(MSFindSymbol(image, "_malloc"), nullptr);          // a dependency's, not the image's
  EXPECT_EQ(MSFindSymbol(nullptr, "_AudioUnitRender"), nullptr);

  void* previous = reinterpret_cast<void*>(&replacementRender);
  MSHookFunction(reinterpret_cast<void*>(&AudioUnitInitialize),
                 reinterpret_cast<void*>(&replacementRender), &previous);
  EXPECT_EQ(previous, nullptr);
}

TEST_F(FunctionHooks, PhonePathsOpenInsideTheDevice) {
  const auto library = device_.path() / "System/Library/Test/Plugin";
  std::filesystem::create_directories(library.parent_path());
  Dl_info where{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&AudioUnitRender), &where), 0);
  std::filesystem::create_symlink(std::filesystem::canonical(where.dli_fname), library);
  void* handle = dlopen("/System/Library/Test/Plugin", RTLD_NOW);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(dlsym(handle, "AudioUnitRender"), reinterpret_cast<void*>(&AudioUnitRender));
  EXPECT_EQ(dlopen("/System/Library/Test/Missing", RTLD_NOW), nullptr);
}

}  // namespace
