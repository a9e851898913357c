#pragma once
// Draws a view and its layer tree into a picture: each layer's background colour, contents
// image, then its own drawing (a shape layer's filled and stroked path, a gradient layer's
// gradient), then its sublayers in order; a layer's opacity applies to it and its sublayers as
// a group, and a mask layer's drawn alpha cuts the layer out. Hidden layers (and so hidden
// views) are skipped. Anti-aliased, at a scale of device pixels per point (2 by default).
//
// A renderer keeps its surface and scratch buffers between frames, so drawing the same size
// again allocates nothing but what the rasteriser itself needs. Drawing a view or layer, it
// keeps the picture of the root's leading layers that drew the same in the last two frames (an
// artwork under a plot) and draws only the rest; gradients drawn again unchanged are copied.

#include <memory>
#include <span>
#include <vector>

#include "QuartzCore/QuartzCore.h"
#include "Renderer/Image.h"
#include "Renderer/LayerSnapshot.h"
#include "UIKit/UIView.h"

namespace render {

class Canvas;
class ScaledImages;

enum class Rasterizer {
  cairo,      // Cairo with its default (best) anti-aliasing everywhere
  cairoFast,  // Cairo with its fast anti-aliasing for strokes, best for fills and gradients
  // Anti-Grain Geometry for solid fills and strokes (full anti-aliasing), Cairo for the rest:
  // backgrounds, images, gradients, groups and masks, into the same pixels.
  aggOnCairo,
  // The same with coverage accumulated per row and blended in spans between the pixels that
  // edges cross, instead of sorted cells; round-joined strokes outlined by our own stroker, to
  // the same outline.
  spansOnCairo,
  // The same with the round-joined stroke of a dense x-monotonic run (a waveform) drawn as the
  // region between its sampled envelopes, without outlining every join: about four times
  // cheaper for the stacked plots, but the exact union of the stroke, where the stroker's
  // outline counts its overlapping loops at inner joins twice and so draws those pixels fuller;
  // 9 % of a joyplot's pixels differ from the golden pictures by more than 8 levels.
  envelopesOnCairo,
};

struct RenderOptions {
  double scale = 2.0;
  Rasterizer rasterizer = Rasterizer::spansOnCairo;  // the fastest measured (bench/render)
  // Replace the points of an x-monotonic stroked run that fall inside one device pixel column
  // by its first, lowest, highest and last point: the same picture to a fraction of a level,
  // much less work for dense waveforms.
  bool decimateDenseStrokes = true;
  // Shrink an image drawn smaller than it is once and keep the copy while frames draw it
  // (ScaledImages.h), instead of filtering it again every frame.
  bool keepShrunkImages = true;
  // Large solid fills and strokes share their pixel rows with one helper thread, made once per
  // renderer: the same picture, its coverage and blending split between two cores. Off: on a
  // busy machine the helper waits for a core, and costs a wake-up per fill or stroke
  // (bench/plots, "HelperThread").
  bool helperThread = false;
};

class Renderer {
 public:
  explicit Renderer(RenderOptions options = {});
  ~Renderer();
  Renderer(const Renderer&) = delete;
  Renderer& operator=(const Renderer&) = delete;

  // Draws the view's tree over a transparent picture of its bounds' size × scale.
  void draw(UIView* view);
  // Draws a layer tree (the layer's own frame origin ignored) over a transparent picture.
  void drawLayer(CALayer* layer);
  // Draws a committed tree the same way; any thread (one renderer per thread).
  void drawSnapshot(const LayerSnapshot& root);
  // The same, keeping the tree until the next one, as `draw` does: what draws the same in both
  // is taken from a kept picture (a render server's frames).
  void drawSnapshot(std::shared_ptr<const LayerSnapshot> root);
  // The last picture drawn, converted to straight RGBA.
  Image image() const;
  // The same into `picture`, reusing its pixels' storage: a caller that keeps one picture
  // allocates nothing per frame once it has held a frame this large.
  void copyImage(Image& picture) const;

  const RenderOptions& options() const { return options_; }

 private:
  // `previous`: the tree the last frame drew, if kept; what of this one draws the same in both
  // is taken from a kept picture.
  void drawRoot(const LayerSnapshot& root, const LayerSnapshot* previous);
  // `kept`: the path (sameLeadingPath in Renderer.cpp) of what leads the tree from this layer
  // and is kept: taken up (`takenUp`) and not drawn, or drawn and then kept.
  void drawTree(const LayerSnapshot& layer, bool applyFrame, std::span<const std::size_t> kept = {},
                bool takenUp = false);
  // `backdrop`: the background colour and contents image, left out when a sublayer hides them.
  void drawOwnContent(const LayerSnapshot& layer, bool backdrop);
  bool backdropHidden(const LayerSnapshot& layer) const;

  RenderOptions options_;
  std::unique_ptr<Canvas> canvas_;
  std::unique_ptr<ScaledImages> scaledImages_;
  // The last tree drawn from a layer, and the path of what leads it that the canvas keeps a
  // picture of (this frame's path, reused).
  std::shared_ptr<const LayerSnapshot> lastRoot_;
  std::vector<std::size_t> keptPath_, samePath_;
};

// One-shot helpers.
Image renderView(UIView* view, const RenderOptions& options = {});
bool renderViewToPng(UIView* view, const std::string& path, const RenderOptions& options = {},
                     std::string* error = nullptr);

}  // namespace render
