#pragma once
// Linear gradients that frames draw again unchanged (an artwork's sky, a plot's colour ramp):
// evaluating one costs more than copying its pixels, so a gradient drawn with the same stops,
// axis and device pixels in two frames running is drawn once into a kept picture, and frames
// after only copy that.

#include <cairo.h>

#include <cstddef>
#include <vector>

#include "Canvas.h"

namespace render {

// Fills `rect` (user space of `cr`) with the linear gradient from `start` to `end`.
void fillLinearGradient(cairo_t* cr, CGRect rect, CGPoint start, CGPoint end,
                        const GradientStops& stops);

class KeptGradients {
 public:
  KeptGradients() = default;
  ~KeptGradients();
  KeptGradients(const KeptGradients&) = delete;
  KeptGradients& operator=(const KeptGradients&) = delete;

  // Draws the gradient (as fillLinearGradient would) from its kept picture when the same one was
  // drawn before; false when it was not, or when `cr`'s matrix turns or shears (nothing is
  // drawn then). `width` × `height`: the device pixels that can show.
  bool draw(cairo_t* cr, int width, int height, CGRect rect, CGPoint start, CGPoint end,
            const GradientStops& stops);
  // A frame begins: pictures the last one did not draw are let go.
  void beginFrame();

 private:
  struct Kept {
    std::vector<double> key;             // matrix, rect, axis, pixel box, then each stop
    cairo_surface_t* picture = nullptr;  // made when the gradient is drawn a second time
    bool drawn = false;
  };
  static void release(Kept& kept);

  std::vector<Kept> kept_;
  std::vector<double> key_;  // the request's, reused
};

}  // namespace render
