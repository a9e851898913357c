#pragma once
// Artwork for a preview to draw over, built from layers so that PNG and SVG show it alike.

#include <UIKit/UIKit.h>

#include <optional>
#include <string_view>

namespace preview {

enum class Artwork {
  cover,  // a generated album cover: a diagonal gradient, a sun and a horizon of hills
  plain,  // one mid-grey colour
  none,   // transparent
};

// "cover", "plain" or "none".
std::optional<Artwork> artworkNamed(std::string_view name);

// A view of `size` points showing the artwork.
StrongRef<UIView> makeArtworkView(Artwork artwork, CGSize size);

}  // namespace preview
