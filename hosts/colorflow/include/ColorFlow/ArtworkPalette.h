#pragma once
// ColorFlow's three colours for a piece of now-playing artwork: the background is the colour that
// covers most of the picture, the primary and secondary colours are the ones that stand out most
// from it (and from each other), weighted by how much of the picture they cover.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace colorflow {

struct PaletteColor {
  float red = 0;
  float green = 0;
  float blue = 0;
  bool operator==(const PaletteColor&) const = default;
};

struct ArtworkPalette {
  PaletteColor primary;
  PaletteColor secondary;
  PaletteColor background;
};

// The palette of an RGBA picture (8 bits a channel, `stride` bytes a row); none for an empty
// picture or one the quantiser refuses.
std::optional<ArtworkPalette> paletteFromArtwork(const std::uint8_t* rgba, std::size_t width,
                                                 std::size_t height, std::size_t stride);

}  // namespace colorflow
