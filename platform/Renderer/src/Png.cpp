#include <png.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "Renderer/Image.h"

namespace render {

namespace {
constexpr std::size_t kLargestFile = 64u << 20;
constexpr png_uint_32 kLargestSide = 8192;
constexpr std::size_t kLargestPixelCount = 16u << 20;
}  // namespace

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

std::optional<Image> readPngFromMemory(const void* bytes, std::size_t length, std::string* error) {
  if (bytes == nullptr || length == 0) {
    if (error != nullptr) *error = "no PNG data";
    return std::nullopt;
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&png, bytes, length) == 0) {
    if (error != nullptr) *error = std::string("not a readable PNG: ") + png.message;
    return std::nullopt;
  }
  // Bound the picture before allocating for it: a header can claim any size.
  if (png.width == 0 || png.height == 0 || png.width > kLargestSide || png.height > kLargestSide ||
      std::size_t{png.width} * std::size_t{png.height} > kLargestPixelCount) {
    if (error != nullptr) {
      *error = "picture size " + std::to_string(png.width) + "×" + std::to_string(png.height) +
               " out of range";
    }
    png_image_free(&png);
    return std::nullopt;
  }
  png.format = PNG_FORMAT_RGBA;
  Image image(png.width, png.height);
  if (png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr) == 0) {
    if (error != nullptr) *error = std::string("cannot decode the PNG: ") + png.message;
    png_image_free(&png);
    return std::nullopt;
  }
  return image;
}

std::optional<Image> readPng(const std::string& path, std::string* error) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) {
    if (error != nullptr) *error = "cannot open " + path;
    return std::nullopt;
  }
  const std::streamoff size = file.tellg();
  if (size <= 0 || static_cast<std::size_t>(size) > kLargestFile) {
    if (error != nullptr) *error = path + ": file size out of range";
    return std::nullopt;
  }
  std::vector<char> bytes(static_cast<std::size_t>(size));
  file.seekg(0);
  if (!file.read(bytes.data(), size)) {
    if (error != nullptr) *error = "cannot read " + path;
    return std::nullopt;
  }
  std::string reason;
  auto image = readPngFromMemory(bytes.data(), bytes.size(), &reason);
  if (!image && error != nullptr) *error = path + ": " + reason;
  return image;
}

}  // namespace render
