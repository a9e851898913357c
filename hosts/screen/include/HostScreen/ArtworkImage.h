#pragma once
// The now-playing artwork: a generated cover (the default), or a picture from a PNG file.

#include <CoreGraphics/CGImage.h>

#include <string>

namespace screen {

// A square cover of `size` pixels: a dusk gradient with the grooves of a record. Each `variant`
// (one per item of a play queue) turns the gradient's hues a step further.
cg::ImageRef generatedCover(std::size_t size = 512, unsigned variant = 0);

// The picture in the PNG file at `path`; null (and a reason) when it cannot be read.
cg::ImageRef artworkFromFile(const std::string& path, std::string* error);

}  // namespace screen
