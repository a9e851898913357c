// Tweak filter files come from the device's disk: any bytes must give a verdict, never a crash.

#include <substrate/TweakLoader.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  substrate::readTweakFilter(reinterpret_cast<const char*>(data), size, "com.apple.springboard");
  return 0;
}
