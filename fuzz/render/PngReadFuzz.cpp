#include <cstddef>
#include <cstdint>

#include "Renderer/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string error;
  const auto image = render::readPngFromMemory(data, size, &error);
  if (image && image->rgba.size() != image->width * image->height * 4) __builtin_trap();
  return 0;
}
