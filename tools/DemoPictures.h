#pragma once
// The demo's pictures: scaled copies of captured frames, a contact sheet with one labelled frame
// per visualisation (labels in a small built-in bitmap font), and an animated WebP.

#include <Renderer/Image.h>

#include <string>
#include <vector>

namespace demo {

// `image` shrunk by an integer `factor` (box filter).
render::Image shrink(const render::Image& image, unsigned factor);

// Writes `text` (letters, digits, space and : - . ( ) /) into `image` at (x, y), each font pixel
// drawn as a `scale` × `scale` square of `rgba`.
void drawText(render::Image& image, std::size_t x, std::size_t y, const std::string& text,
              unsigned scale, const std::uint8_t rgba[4]);

struct LabelledFrame {
  render::Image frame;
  std::string label;
};

// Rows of frames (one per screen), each frame with its label beneath, on a dark background.
render::Image contactSheet(const std::vector<std::vector<LabelledFrame>>& rows);

// Writes `frames` (all of one size) as an animated WebP, each shown for `frameMilliseconds`;
// false and a reason on failure.
bool writeAnimatedWebP(const std::vector<render::Image>& frames, int frameMilliseconds,
                       const std::string& path, std::string* error);

}  // namespace demo
