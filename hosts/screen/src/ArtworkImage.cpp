#include "HostScreen/ArtworkImage.h"

#include <Renderer/Image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace screen {

cg::ImageRef generatedCover(std::size_t size, unsigned variant) {
  // Each variant turns the colour channels one place further.
  const unsigned turn = variant % 3;
  std::vector<std::uint8_t> rgba(size * size * 4);
  const double centre = (static_cast<double>(size) - 1) / 2;
  for (std::size_t y = 0; y < size; ++y) {
    for (std::size_t x = 0; x < size; ++x) {
      const double u = static_cast<double>(x) / static_cast<double>(size);
      const double v = static_cast<double>(y) / static_cast<double>(size);
      // Dusk: deep blue at the top left, violet, then orange at the bottom right.
      const double t = (u + v) / 2;
      double r = 20 + 200 * t * t;
      double g = 24 + 60 * t;
      double b = 90 + 80 * std::sin(t * 3.1);
      // A record: dark disc with grooves and a bright label.
      const double dx = (static_cast<double>(x) - centre) / centre;
      const double dy = (static_cast<double>(y) - centre) / centre;
      const double radius = std::sqrt(dx * dx + dy * dy);
      if (radius < 0.72) {
        const double groove = 0.5 + 0.5 * std::cos(radius * 160);
        const double shade = 14 + 10 * groove;
        r = shade;
        g = shade;
        b = shade + 4;
        if (radius < 0.24) {
          r = 232;
          g = 120 + 90 * (1 - radius / 0.24);
          b = 60;
        }
        if (radius < 0.025) r = g = b = 10;
      }
      std::uint8_t* pixel = rgba.data() + (y * size + x) * 4;
      const double channels[3] = {r, g, b};
      for (unsigned c = 0; c < 3; ++c)
        pixel[c] = static_cast<std::uint8_t>(std::clamp(channels[(c + turn) % 3], 0.0, 255.0));
      pixel[3] = 255;
    }
  }
  return cg::ImageRef::adopt(CGImageCreateWithRGBA(size, size, rgba.data(), size * 4));
}

cg::ImageRef artworkFromFile(const std::string& path, std::string* error) {
  const auto picture = render::readPng(path, error);
  if (!picture) return nullptr;
  if (picture->empty()) {
    if (error != nullptr) *error = "the picture is empty";
    return nullptr;
  }
  return cg::ImageRef::adopt(CGImageCreateWithRGBA(picture->width, picture->height,
                                                   picture->rgba.data(), picture->width * 4));
}

}  // namespace screen
