#include <png.h>

#include <cstring>

#include "Renderer/Image.h"

namespace render {

bool writePng(const Image& image, const std::string& path, std::string* error) {
  if (image.empty() || image.rgba.size() < image.width * image.height * 4) {
    if (error != nullptr) *error = "no picture to write";
    return false;
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width);
  png.height = static_cast<png_uint_32>(image.height);
  png.format = PNG_FORMAT_RGBA;
  if (png_image_write_to_file(&png, path.c_str(), 0, image.rgba.data(), 0, nullptr) == 0) {
    if (error != nullptr) *error = "cannot write " + path + ": " + png.message;
    png_image_free(&png);
    return false;
  }
  return true;
}

std::optional<Image> readPng(const std::string& path, std::string* error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
    if (error != nullptr) *error = "cannot read " + path + ": " + png.message;
    return std::nullopt;
  }
  // Bound the picture before allocating for it: a header can claim any size.
  if (png.width == 0 || png.height == 0 || png.width > 16384 || png.height > 16384) {
    if (error != nullptr) *error = path + ": picture size out of range";
    png_image_free(&png);
    return std::nullopt;
  }
  png.format = PNG_FORMAT_RGBA;
  Image image(png.width, png.height);
  if (png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) == 0) {
    if (error != nullptr) *error = "cannot decode " + path + ": " + png.message;
    png_image_free(&png);
    return std::nullopt;
  }
  return image;
}

}  // namespace render
