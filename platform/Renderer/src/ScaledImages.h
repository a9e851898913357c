#pragma once
// Images drawn smaller than they are (the artwork of every screen at 1×): Cairo's best filter
// spends longer shrinking one than drawing all else on a screen, every frame again. Each is
// shrunk once to the device pixels it covers and kept while frames draw it at that size, so a
// frame only copies it.

#include <cstddef>
#include <memory>
#include <vector>

#include "CoreGraphics/CoreGraphics.h"

namespace render {

class Canvas;

class ScaledImages {
 public:
  ScaledImages();
  ~ScaledImages();
  ScaledImages(const ScaledImages&) = delete;
  ScaledImages& operator=(const ScaledImages&) = delete;

  // What to draw for `image` filling `rect` (points) at `scale` device pixels per point: its
  // copy at the rect's size in pixels when that is whole and smaller than the image, else the
  // image itself.
  const CGImage& forRect(const CGImage& image, CGRect rect, double scale);
  // A frame is drawn: copies it did not draw are let go.
  void endFrame();

 private:
  struct Copy {
    cg::ImageRef source;  // held, so that its address names it
    std::size_t width = 0, height = 0;
    cg::ImageRef scaled;
    bool drawn = false;
  };
  std::vector<Copy> copies_;
  std::unique_ptr<Canvas> canvas_;  // shrinks them, with the same filter a frame would use
};

}  // namespace render
