#include "Renderer/Renderer.h"

#include <algorithm>
#include <cmath>

#include "Canvas.h"

namespace render {

namespace {

StrokeStyle strokeStyleOf(const CAShapeLayer& shape) {
  StrokeStyle style;
  style.width = shape.lineWidth();
  switch (shape.lineJoinStyle()) {
    case CAShapeLayer::LineJoin::round:
      style.join = StrokeStyle::Join::round;
      break;
    case CAShapeLayer::LineJoin::bevel:
      style.join = StrokeStyle::Join::bevel;
      break;
    case CAShapeLayer::LineJoin::miter:
      style.join = StrokeStyle::Join::miter;
      break;
  }
  switch (shape.lineCapStyle()) {
    case CAShapeLayer::LineCap::round:
      style.cap = StrokeStyle::Cap::round;
      break;
    case CAShapeLayer::LineCap::square:
      style.cap = StrokeStyle::Cap::square;
      break;
    case CAShapeLayer::LineCap::butt:
      style.cap = StrokeStyle::Cap::butt;
      break;
  }
  style.miterLimit = shape.miterLimit();
  return style;
}

// Stops as drawn: the given locations when there is one per colour (sorted, within 0 … 1),
// else spread evenly.
GradientStops stopsOf(const CAGradientLayer& gradient) {
  GradientStops stops;
  stops.colors = &gradient.colors();
  const std::size_t n = gradient.colors().size();
  const auto& given = gradient.locations();
  stops.locations.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (given.size() >= n) {
      const CGFloat l = given[i];
      stops.locations[i] = std::isfinite(l) ? std::clamp(l, 0.0, 1.0) : 0.0;
    } else {
      stops.locations[i] = n > 1 ? static_cast<CGFloat>(i) / static_cast<CGFloat>(n - 1) : 0.0;
    }
  }
  std::sort(stops.locations.begin(), stops.locations.end());
  return stops;
}

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
  }
  return CanvasKind::spansOnCairo;
}

}  // namespace

Renderer::Renderer(RenderOptions options)
    : options_(options),
      canvas_(makeCairoCanvas(canvasKindOf(options.rasterizer), options.decimateDenseStrokes)) {
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
    return;
  }
  view->layoutIfNeeded();
  drawLayer(view->layer());
}

void Renderer::drawLayer(CALayer* layer) {
  const CGRect bounds = layer != nullptr ? layer->bounds() : CGRectZero;
  canvas_->begin(pixelsFor(bounds.size.width, options_.scale),
                 pixelsFor(bounds.size.height, options_.scale), options_.scale);
  if (layer == nullptr) return;
  canvas_->translate(-bounds.origin.x, -bounds.origin.y);
  drawTree(layer, false);
}

Image Renderer::image() const {
  return canvas_->snapshot();
}

void Renderer::drawTree(CALayer* layer, bool applyFrame) {
  if (layer == nullptr || layer->isHidden()) return;
  const double opacity = std::isfinite(layer->opacity()) ? layer->opacity() : 0.0;
  if (opacity <= 0) return;
  canvas_->save();
  if (applyFrame) {
    const CGAffineTransform t = layer->transformToSuperlayer();
    canvas_->translate(t.tx, t.ty);
  }
  CALayer* mask = layer->mask();
  const bool grouped = opacity < 1.0 || mask != nullptr;
  if (grouped) canvas_->beginGroup();
  if (layer->masksToBounds()) canvas_->clipToRect(layer->bounds());

  drawOwnContent(layer);
  for (const auto& sublayer : layer->sublayers()) drawTree(sublayer.get(), true);

  if (mask != nullptr) {
    canvas_->beginGroup();
    drawTree(mask, true);
    canvas_->endMaskedGroup(opacity);
  } else if (grouped) {
    canvas_->endGroup(opacity);
  }
  canvas_->restore();
}

void Renderer::drawOwnContent(CALayer* layer) {
  const CGRect bounds = layer->bounds();
  if (CGColorRef background = layer->backgroundColor()) canvas_->fillRect(bounds, *background);
  if (CGImageRef contents = layer->contents()) canvas_->drawImage(*contents, bounds);

  if (auto* shape = objc::cast<CAShapeLayer>(layer)) {
    CGPathRef path = shape->path();
    if (path == nullptr) return;
    CGColorRef stroke = shape->strokeColor();
    const StrokeStyle style = strokeStyleOf(*shape);
    if (CGColorRef fill = shape->fillColor()) {
      const bool opaqueStroke = stroke != nullptr && clampedColor(*stroke).alpha() >= 1.0;
      canvas_->fillPath(*path, *fill, shape->fillRuleStyle() == CAShapeLayer::FillRule::evenOdd,
                        opaqueStroke ? &style : nullptr);
    }
    if (stroke != nullptr) canvas_->strokePath(*path, *stroke, style);
  } else if (auto* gradient = objc::cast<CAGradientLayer>(layer)) {
    const CGPoint s = gradient->startPoint(), e = gradient->endPoint();
    const CGPoint start{bounds.origin.x + s.x * bounds.size.width,
                        bounds.origin.y + s.y * bounds.size.height};
    const CGPoint end{bounds.origin.x + e.x * bounds.size.width,
                      bounds.origin.y + e.y * bounds.size.height};
    canvas_->fillLinearGradient(bounds, start, end, stopsOf(*gradient));
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
