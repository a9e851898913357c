#pragma once
// A bitmap image: width × height pixels of 8-bit RGBA (straight alpha, rows top to bottom).
// Layers show one as their contents (the now-playing artwork).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class CGImage {
 public:
  CGImage(std::size_t width, std::size_t height, std::vector<std::uint8_t> rgba)
      : width_(width), height_(height), rgba_(std::move(rgba)) {}
  CGImage(const CGImage&) = delete;
  CGImage& operator=(const CGImage&) = delete;

  std::size_t width() const { return width_; }
  std::size_t height() const { return height_; }
  std::size_t bytesPerRow() const { return width_ * 4; }
  const std::uint8_t* rgba() const { return rgba_.data(); }

  CGImage* retain() noexcept {
    references_.fetch_add(1, std::memory_order_relaxed);
    return this;
  }
  void release() noexcept {
    if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

 private:
  ~CGImage() = default;
  std::size_t width_;
  std::size_t height_;
  std::vector<std::uint8_t> rgba_;
  std::atomic<std::uint32_t> references_{1};
};

using CGImageRef = const CGImage*;

// A copy of `rgba` (width × height × 4 bytes, `bytesPerRow` apart); null for a zero size or
// missing pixels. The caller owns the one reference.
CGImageRef CGImageCreateWithRGBA(std::size_t width, std::size_t height, const std::uint8_t* rgba,
                                 std::size_t bytesPerRow);
CGImageRef CGImageRetain(CGImageRef image);
void CGImageRelease(CGImageRef image);
inline std::size_t CGImageGetWidth(CGImageRef image) {
  return image ? image->width() : 0;
}
inline std::size_t CGImageGetHeight(CGImageRef image) {
  return image ? image->height() : 0;
}

namespace cg {

// Owning handle to an image.
class ImageRef {
 public:
  ImageRef() noexcept = default;
  ImageRef(std::nullptr_t) noexcept {}
  explicit ImageRef(CGImageRef image) noexcept : image_(const_cast<CGImage*>(image)) {
    if (image_ != nullptr) image_->retain();
  }
  ImageRef(const ImageRef& other) noexcept : ImageRef(other.image_) {}
  ImageRef(ImageRef&& other) noexcept : image_(std::exchange(other.image_, nullptr)) {}
  ~ImageRef() { reset(); }
  ImageRef& operator=(ImageRef other) noexcept {
    std::swap(image_, other.image_);
    return *this;
  }
  static ImageRef adopt(CGImageRef image) noexcept {
    ImageRef ref;
    ref.image_ = const_cast<CGImage*>(image);
    return ref;
  }
  void reset() noexcept {
    if (CGImage* old = std::exchange(image_, nullptr)) old->release();
  }
  CGImage* get() const noexcept { return image_; }
  CGImage* operator->() const noexcept { return image_; }
  explicit operator bool() const noexcept { return image_ != nullptr; }

 private:
  CGImage* image_ = nullptr;
};

}  // namespace cg
