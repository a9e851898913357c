#pragma once
// The now-playing artwork: a generated cover (the default), or a picture from a PNG file.

#include <CoreGraphics/CGImage.h>

#include <string>

namespace springboard {

// A square cover of `size` pixels: a dusk gradient with the grooves of a record.
cg::ImageRef generatedCover(std::size_t size = 512);

// The picture in the PNG file at `path`; null (and a reason) when it cannot be read.
cg::ImageRef artworkFromFile(const std::string& path, std::string* error);

}  // namespace springboard
