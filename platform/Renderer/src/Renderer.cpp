#include "Renderer/Renderer.h"

#include <algorithm>
#include <cmath>

#include "Canvas.h"
#include "ScaledImages.h"

namespace render {

namespace {

CanvasKind canvasKindOf(Rasterizer rasterizer) {
  switch (rasterizer) {
    case Rasterizer::cairo:
      return CanvasKind::cairo;
    case Rasterizer::cairoFast:
      return CanvasKind::cairoFast;
    case Rasterizer::aggOnCairo:
      return CanvasKind::aggOnCairo;
    case Rasterizer::spansOnCairo:
      return CanvasKind::spansOnCairo;
    case Rasterizer::envelopesOnCairo:
      return CanvasKind::envelopesOnCairo;
  }
  return CanvasKind::spansOnCairo;
}

}  // namespace

Renderer::Renderer(RenderOptions options)
    : options_(options),
      canvas_(makeCairoCanvas(canvasKindOf(options.rasterizer), options.decimateDenseStrokes,
                              options.helperThread)),
      scaledImages_(std::make_unique<ScaledImages>()) {
  if (!(options_.scale > 0) || !std::isfinite(options_.scale)) options_.scale = 2.0;
}

Renderer::~Renderer() = default;

namespace {
std::size_t pixelsFor(CGFloat points, double scale) {
  const double pixels = std::ceil(points * scale);
  // A picture larger than 16k pixels on a side is a mistake, not a request.
  return pixels > 0 && pixels < 16384 ? static_cast<std::size_t>(pixels) : 0;
}
}  // namespace

void Renderer::draw(UIView* view) {
  if (view == nullptr) {
    canvas_->begin(0, 0, options_.scale);
    lastRoot_.reset();
    return;
  }
  view->layoutIfNeeded();
  drawLayer(view->layer());
}

void Renderer::drawLayer(CALayer* layer) {
  drawSnapshot(snapshotLayerTree(layer));
}

void Renderer::drawSnapshot(const LayerSnapshot& root) {
  lastRoot_.reset();
  drawRoot(root, nullptr);
}

void Renderer::drawSnapshot(std::shared_ptr<const LayerSnapshot> root) {
  if (!root) return;
  drawRoot(*root, lastRoot_.get());
  lastRoot_ = std::move(root);
}

namespace {

// What of the tree draws the same as the previous frame's, as a path from the root: at each
// step a layer whose own drawing is the same, and how many of its leading sublayers draw the
// same; the next step is the sublayer after those. It stops at a layer that draws into a group
// (its opacity or mask), not straight into the picture.
void sameLeadingPath(const LayerSnapshot& root, const LayerSnapshot* previous,
                     std::vector<std::size_t>& path) {
  path.clear();
  const LayerSnapshot* layer = &root;
  while (previous != nullptr && layer->opacity == 1 && layer->mask == nullptr &&
         drawsTheSameAlone(*layer, *previous)) {
    const std::size_t count = std::min(layer->sublayers.size(), previous->sublayers.size());
    std::size_t same = 0;
    while (same < count && drawsTheSame(layer->sublayers[same], previous->sublayers[same])) ++same;
    path.push_back(same);
    if (same == count) return;
    layer = &layer->sublayers[same];
    previous = &previous->sublayers[same];
  }
}

}  // namespace

void Renderer::drawRoot(const LayerSnapshot& root, const LayerSnapshot* previous) {
  const CGRect bounds = root.bounds;
  canvas_->begin(pixelsFor(bounds.size.width, options_.scale),
                 pixelsFor(bounds.size.height, options_.scale), options_.scale);
  canvas_->translate(-bounds.origin.x, -bounds.origin.y);
  // A backdrop unchanged in two frames running (an artwork, a plot's background) is drawn once
  // more and kept; frames after take it up and draw only what follows.
  sameLeadingPath(root, previous, samePath_);
  const bool takenUp = !samePath_.empty() && samePath_ == keptPath_ && canvas_->takeUpKeptPicture();
  drawTree(root, false, samePath_, takenUp);
  keptPath_.assign(samePath_.begin(), samePath_.end());
  scaledImages_->endFrame();
}

Image Renderer::image() const {
  Image picture;
  copyImage(picture);
  return picture;
}

void Renderer::copyImage(Image& picture) const {
  canvas_->snapshot(picture);
}

void Renderer::drawTree(const LayerSnapshot& layer, bool applyFrame,
                        std::span<const std::size_t> kept, bool takenUp) {
  if (layer.opacity <= 0) return;
  canvas_->save();
  if (applyFrame) canvas_->translate(layer.offset.x, layer.offset.y);
  const LayerSnapshot* mask = layer.mask.get();
  const bool grouped = layer.opacity < 1.0 || mask != nullptr;
  if (grouped) canvas_->beginGroup();
  if (layer.masksToBounds) canvas_->clipToRect(layer.bounds);

  // A kept picture holds the backdrop even where a later sublayer hides it now: that one may
  // change, the picture does not.
  if (kept.empty())
    drawOwnContent(layer, !backdropHidden(layer));
  else if (!takenUp)
    drawOwnContent(layer, true);
  // The sublayers that drew the same lead; the picture is kept after them where the path ends,
  // else the first changed one leads on into what is kept.
  const std::size_t same = kept.empty() ? 0 : kept[0];
  if (!takenUp)
    for (std::size_t i = 0; i < same; ++i) drawTree(layer.sublayers[i], true);
  if (kept.size() == 1 && !takenUp) canvas_->keepPicture();
  for (std::size_t i = same; i < layer.sublayers.size(); ++i) {
    if (i == same && kept.size() > 1)
      drawTree(layer.sublayers[i], true, kept.subspan(1), takenUp);
    else
      drawTree(layer.sublayers[i], true);
  }

  if (mask != nullptr) {
    canvas_->beginGroup();
    drawTree(*mask, true);
    canvas_->endMaskedGroup(layer.opacity);
  } else if (grouped) {
    canvas_->endGroup(layer.opacity);
  }
  canvas_->restore();
}

namespace {

// Whether a layer paints every pixel of its bounds opaquely, whatever lies beneath: an opaque
// background, or a gradient of opaque colours along a proper axis.
bool paintsOpaquely(const LayerSnapshot& layer) {
  if (layer.opacity < 1 || layer.mask != nullptr) return false;
  if (layer.hasBackground && clampedColor(layer.background).alpha() >= 1) return true;
  if (layer.kind != LayerSnapshot::Kind::gradient || layer.colors.empty()) return false;
  const bool axis = std::isfinite(layer.start.x) && std::isfinite(layer.start.y) &&
                    std::isfinite(layer.end.x) && std::isfinite(layer.end.y) &&
                    (layer.start.x != layer.end.x || layer.start.y != layer.end.y);
  if (!axis) return false;
  return std::all_of(layer.colors.begin(), layer.colors.end(),
                     [](const CGColor& c) { return clampedColor(c).alpha() >= 1; });
}

}  // namespace

bool Renderer::backdropHidden(const LayerSnapshot& layer) const {
  if (!layer.hasBackground && !layer.contents) return false;
  return std::any_of(layer.sublayers.begin(), layer.sublayers.end(), [&](const LayerSnapshot& s) {
    if (!paintsOpaquely(s)) return false;
    const CGRect cover = {{s.offset.x + s.bounds.origin.x, s.offset.y + s.bounds.origin.y},
                          s.bounds.size};
    return canvas_->hides(cover, layer.bounds);
  });
}

void Renderer::drawOwnContent(const LayerSnapshot& layer, bool backdrop) {
  const CGRect bounds = layer.bounds;
  if (backdrop && layer.hasBackground) canvas_->fillRect(bounds, layer.background);
  if (backdrop && layer.contents)
    canvas_->drawImage(options_.keepShrunkImages
                           ? scaledImages_->forRect(*layer.contents.get(), bounds, options_.scale)
                           : *layer.contents.get(),
                       bounds);
  switch (layer.kind) {
    case LayerSnapshot::Kind::shape:
      if (!layer.path) return;
      if (layer.hasFill) {
        // Under a nearly opaque stroke the fill may be thinned where the stroke covers it: the
        // sub-pixel move of its edge shows through at most 15 %, a few levels (the plots' lines
        // are 0.9 opaque).
        const bool opaqueStroke = layer.hasStroke && clampedColor(layer.stroke).alpha() >= 0.85;
        canvas_->fillPath(*layer.path.get(), layer.fill, layer.evenOdd,
                          opaqueStroke ? &layer.strokeStyle : nullptr);
      }
      if (layer.hasStroke) canvas_->strokePath(*layer.path.get(), layer.stroke, layer.strokeStyle);
      return;
    case LayerSnapshot::Kind::gradient: {
      GradientStops stops;
      stops.colors = &layer.colors;
      stops.locations = layer.locations;
      canvas_->fillLinearGradient(bounds, layer.start, layer.end, stops);
      return;
    }
    case LayerSnapshot::Kind::text:
      canvas_->drawText(layer.text, bounds, layer.fontSize, layer.bold, layer.textColor,
                        layer.alignment);
      return;
    case LayerSnapshot::Kind::plain:
      return;
  }
}

Image renderView(UIView* view, const RenderOptions& options) {
  Renderer renderer(options);
  renderer.draw(view);
  return renderer.image();
}

bool renderViewToPng(UIView* view, const std::string& path, const RenderOptions& options,
                     std::string* error) {
  return writePng(renderView(view, options), path, error);
}

}  // namespace render
