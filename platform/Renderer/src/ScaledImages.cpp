#include "ScaledImages.h"

#include <cmath>

#include "Canvas.h"

namespace render {
namespace {

constexpr std::size_t kMostCopies = 8;

// `points` × `scale` as whole pixels; 0 when it is not whole (or out of range).
std::size_t wholePixels(CGFloat points, double scale) {
  const double pixels = points * scale;
  const double rounded = std::round(pixels);
  if (!(rounded >= 1 && rounded < 16384) || std::abs(pixels - rounded) > 1e-6) return 0;
  return static_cast<std::size_t>(rounded);
}

}  // namespace

ScaledImages::ScaledImages() : canvas_(makeCairoCanvas(CanvasKind::cairo, false)) {}

ScaledImages::~ScaledImages() = default;

const CGImage& ScaledImages::forRect(const CGImage& image, CGRect rect, double scale) {
  const std::size_t width = wholePixels(rect.size.width, scale);
  const std::size_t height = wholePixels(rect.size.height, scale);
  if (width == 0 || height == 0 || width > image.width() || height > image.height() ||
      (width == image.width() && height == image.height()))
    return image;
  for (Copy& copy : copies_) {
    if (copy.source.get() == &image && copy.width == width && copy.height == height) {
      copy.drawn = true;
      return *copy.scaled.get();
    }
  }
  if (copies_.size() >= kMostCopies) return image;
  canvas_->begin(width, height, 1);
  canvas_->drawImage(image,
                     CGRectMake(0, 0, static_cast<CGFloat>(width), static_cast<CGFloat>(height)));
  Image shrunk;
  canvas_->snapshot(shrunk);
  cg::ImageRef scaled =
      cg::ImageRef::adopt(CGImageCreateWithRGBA(width, height, shrunk.rgba.data(), width * 4));
  if (!scaled) return image;
  copies_.push_back({cg::ImageRef(&image), width, height, std::move(scaled), true});
  return *copies_.back().scaled.get();
}

void ScaledImages::endFrame() {
  std::erase_if(copies_, [](const Copy& copy) { return !copy.drawn; });
  for (Copy& copy : copies_) copy.drawn = false;
}

}  // namespace render
