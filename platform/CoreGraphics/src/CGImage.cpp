#include "CoreGraphics/CGImage.h"

#include <cstring>

CGImageRef CGImageCreateWithRGBA(std::size_t width, std::size_t height, const std::uint8_t* rgba,
                                 std::size_t bytesPerRow) {
  if (width == 0 || height == 0 || rgba == nullptr || bytesPerRow < width * 4) return nullptr;
  std::vector<std::uint8_t> pixels(width * height * 4);
  for (std::size_t row = 0; row < height; ++row) {
    std::memcpy(pixels.data() + row * width * 4, rgba + row * bytesPerRow, width * 4);
  }
  return new CGImage(width, height, std::move(pixels));
}

CGImageRef CGImageRetain(CGImageRef image) {
  if (image != nullptr) const_cast<CGImage*>(image)->retain();
  return image;
}

void CGImageRelease(CGImageRef image) {
  if (image != nullptr) const_cast<CGImage*>(image)->release();
}
