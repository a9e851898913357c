#pragma once
// A rendered picture: width × height pixels of 8-bit RGBA with straight (not premultiplied)
// alpha, rows top to bottom; and its PNG form.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace render {

struct Image {
  std::size_t width = 0;
  std::size_t height = 0;
  std::vector<std::uint8_t> rgba;

  Image() = default;
  Image(std::size_t w, std::size_t h) : width(w), height(h), rgba(w * h * 4, 0) {}

  bool empty() const { return width == 0 || height == 0; }
  // {r, g, b, a} of the pixel; transparent black outside the picture.
  std::array<std::uint8_t, 4> pixel(std::size_t x, std::size_t y) const {
    if (x >= width || y >= height) return {0, 0, 0, 0};
    const std::uint8_t* p = rgba.data() + (y * width + x) * 4;
    return {p[0], p[1], p[2], p[3]};
  }
};

// False with a reason in `error` when the file cannot be written.
bool writePng(const Image& image, const std::string& path, std::string* error = nullptr);
// The picture in a PNG file, converted to RGBA; nothing (and a reason) when it is unreadable,
// larger than 64 MiB, or claims more than 8192 pixels on a side or 16 Mi pixels in all.
std::optional<Image> readPng(const std::string& path, std::string* error = nullptr);
std::optional<Image> readPngFromMemory(const void* bytes, std::size_t length,
                                       std::string* error = nullptr);

}  // namespace render
