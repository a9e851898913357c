#pragma once
// The rasteriser behind the renderer: a small set of drawing calls in points, under a stack of
// translations and one device scale. Backends are chosen by measurement (bench/render).

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "CoreGraphics/CoreGraphics.h"
#include "Renderer/Image.h"
#include "Renderer/LayerSnapshot.h"

namespace render {

struct GradientStops {
  const std::vector<CGColor>* colors = nullptr;
  std::vector<CGFloat> locations;  // one per colour, ascending
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  // A transparent picture of the given pixel size; user space = points × scale.
  virtual void begin(std::size_t widthPixels, std::size_t heightPixels, double scale) = 0;
  virtual void save() = 0;
  virtual void restore() = 0;
  virtual void translate(CGFloat dx, CGFloat dy) = 0;
  virtual void clipToRect(CGRect rect) = 0;
  // Whether an opaque fill of `cover` would leave no pixel of a drawing confined to `rect` (both
  // in this space) to be seen: every pixel it touches lies whole within `cover`, and no clip
  // softens the cover's edge.
  virtual bool hides(CGRect cover, CGRect rect) const = 0;

  virtual void fillRect(CGRect rect, const CGColor& color) = 0;
  virtual void drawImage(const CGImage& image, CGRect rect) = 0;
  // `opaqueStrokeOver`: the (nearly) opaque stroke that will be drawn along the same path, if any.
  virtual void fillPath(const CGPath& path, const CGColor& color, bool evenOdd,
                        const StrokeStyle* opaqueStrokeOver) = 0;
  virtual void strokePath(const CGPath& path, const CGColor& color, const StrokeStyle& style) = 0;
  // Fills `rect` with a linear gradient from `start` to `end` (points of this space).
  virtual void fillLinearGradient(CGRect rect, CGPoint start, CGPoint end,
                                  const GradientStops& stops) = 0;

  // One line of text in the system font, `size` points high, aligned in `rect` and centred
  // vertically in it.
  virtual void drawText(const std::string& text, CGRect rect, CGFloat size, bool bold,
                        const CGColor& color, LayerSnapshot::Alignment alignment) = 0;

  // Drawing between beginGroup and endGroup lands in a group composited with `opacity`.
  virtual void beginGroup() = 0;
  virtual void endGroup(double opacity) = 0;
  // The two innermost groups are content and mask: the content is composited through the
  // mask's alpha, with `opacity`.
  virtual void endMaskedGroup(double opacity) = 0;

  // The picture as it stands is kept (in storage made once per picture size), to be taken up
  // again by a later frame in place of drawing it anew.
  virtual void keepPicture() = 0;
  // Right after begin: the kept picture becomes the frame's picture; false (nothing changed)
  // when none of this size is kept.
  virtual bool takeUpKeptPicture() = 0;

  // The picture into `picture`, reusing its pixels' storage: nothing is allocated once it has
  // held a picture this large.
  virtual void snapshot(Image& picture) const = 0;
};

enum class CanvasKind { cairo, cairoFast, aggOnCairo, spansOnCairo, envelopesOnCairo };
// `helperThread`: large coverage sweeps share their rows with a helper thread.
std::unique_ptr<Canvas> makeCairoCanvas(CanvasKind kind, bool decimate, bool helperThread = false);

// Components limited to 0 … 1 (a NaN becomes 0).
CGColor clampedColor(const CGColor& color);

}  // namespace render
