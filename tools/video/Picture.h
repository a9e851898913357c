#pragma once
// Artwork pictures read with FFmpeg's libraries: the cover embedded in a song, or an image file
// (PNG, JPEG and the other picture formats FFmpeg reads), as straight RGBA.

#include <optional>
#include <string>

#include "Renderer/Image.h"

namespace video {

// The cover embedded in the song at `path` (its attached picture), if it has a readable one.
std::optional<render::Image> embeddedCover(const std::string& path);

// The picture in the image file at `path`; nothing and a one-line reason when it is not a
// picture, or claims more than 8192 pixels on a side or 16 Mi pixels in all.
std::optional<render::Image> readPicture(const std::string& path, std::string* error);

}  // namespace video
