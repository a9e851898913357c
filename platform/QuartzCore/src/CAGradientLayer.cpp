#include "QuartzCore/CAGradientLayer.h"

#include <algorithm>
#include <cmath>

void CAGradientLayer::setColors(std::initializer_list<CGColorRef> colors) {
  std::vector<CGColor> given;
  for (CGColorRef color : colors) {
    if (color != nullptr) given.push_back(*color);
  }
  setColors(std::move(given));
}

CGColor CAGradientLayer::colorAt(CGFloat t) const {
  if (colors_.empty()) return CGColorMakeRGBA(0, 0, 0, 0);
  if (colors_.size() == 1) return colors_.front();
  if (!std::isfinite(t)) t = 0;
  t = std::clamp(t, 0.0, 1.0);
  // Stops: the given locations when there is one per colour, else evenly spread.
  const std::size_t n = colors_.size();
  const bool given = locations_.size() >= n;
  auto at = [&](std::size_t i) {
    return given ? locations_[i] : static_cast<CGFloat>(i) / static_cast<CGFloat>(n - 1);
  };
  if (t <= at(0)) return colors_.front();
  for (std::size_t i = 1; i < n; ++i) {
    const CGFloat l0 = at(i - 1), l1 = at(i);
    if (t <= l1) {
      const CGFloat f = l1 > l0 ? (t - l0) / (l1 - l0) : 1.0;
      CGColor c;
      for (int k = 0; k < 4; ++k) {
        c.components[k] = colors_[i - 1].components[k] +
                          (colors_[i].components[k] - colors_[i - 1].components[k]) * f;
      }
      return c;
    }
  }
  return colors_.back();
}
