// Costs of the object runtime on the paths that run per frame or per render: a typed send, a
// send through a hooked method that calls the host's implementation, and a call of a hookable
// function through its entry slot.

#include <AudioToolbox/AudioToolbox.h>
#include <benchmark/benchmark.h>
#include <substrate.h>

#include "objc/StrongRef.h"
#include "objc/message.h"

namespace {

int hostValue(id, SEL, int base) {
  return base + 1;
}
int (*previousValue)(id, SEL, int) = nullptr;
int hookedValue(id self, SEL cmd, int base) {
  return previousValue(self, cmd, base) * 2;
}

Class benchClass(const char* name) {
  Class cls = objc_allocateClassPair(nullptr, name, 0);
  objc_registerClassPair(cls);
  objc::addMethod(cls, "valueFor:", &hostValue);
  return cls;
}

void BM_Runtime_TypedSend(benchmark::State& state) {
  static Class cls = benchClass("BenchPlain");
  StrongRef<NSObject> object = StrongRef<NSObject>::adopt(class_createInstance(cls));
  SEL selector = sel_registerName("valueFor:");
  int base = 0;
  for (auto _ : state) benchmark::DoNotOptimize(base = msgSend<int>(object.get(), selector, base));
}
BENCHMARK(BM_Runtime_TypedSend);

void BM_Runtime_HookedSend(benchmark::State& state) {
  static Class cls = [] {
    Class hooked = benchClass("BenchHooked");
    MSHookMessageEx(hooked, sel_registerName("valueFor:"), &hookedValue, &previousValue);
    return hooked;
  }();
  StrongRef<NSObject> object = StrongRef<NSObject>::adopt(class_createInstance(cls));
  SEL selector = sel_registerName("valueFor:");
  for (auto _ : state) benchmark::DoNotOptimize(msgSend<int>(object.get(), selector, 20));
}
BENCHMARK(BM_Runtime_HookedSend);

void BM_Runtime_HookableFunctionCall(benchmark::State& state) {
  AudioUnitRenderActionFlags flags = 0;
  AudioTimeStamp time{};
  for (auto _ : state)
    benchmark::DoNotOptimize(AudioUnitRender(nullptr, &flags, &time, 0, 512, nullptr));
}
BENCHMARK(BM_Runtime_HookableFunctionCall);

}  // namespace
