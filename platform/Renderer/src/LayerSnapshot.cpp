#include "Renderer/LayerSnapshot.h"

#include <algorithm>
#include <cmath>

#include "QuartzCore/QuartzCore.h"

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
std::vector<CGFloat> stopsOf(const CAGradientLayer& gradient) {
  const std::size_t n = gradient.colors().size();
  const auto& given = gradient.locations();
  std::vector<CGFloat> stops(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (given.size() >= n) {
      const CGFloat l = given[i];
      stops[i] = std::isfinite(l) ? std::clamp(l, 0.0, 1.0) : 0.0;
    } else {
      stops[i] = n > 1 ? static_cast<CGFloat>(i) / static_cast<CGFloat>(n - 1) : 0.0;
    }
  }
  std::sort(stops.begin(), stops.end());
  return stops;
}

void copyOwnContent(CALayer* layer, LayerSnapshot& out) {
  const CGRect bounds = layer->bounds();
  if (auto* shape = objc::cast<CAShapeLayer>(layer)) {
    out.kind = LayerSnapshot::Kind::shape;
    out.path = cg::PathRef(shape->path());
    out.hasFill = shape->fillColor() != nullptr;
    if (out.hasFill) out.fill = *shape->fillColor();
    out.evenOdd = shape->fillRuleStyle() == CAShapeLayer::FillRule::evenOdd;
    out.hasStroke = shape->strokeColor() != nullptr;
    if (out.hasStroke) out.stroke = *shape->strokeColor();
    out.strokeStyle = strokeStyleOf(*shape);
  } else if (auto* gradient = objc::cast<CAGradientLayer>(layer)) {
    out.kind = LayerSnapshot::Kind::gradient;
    out.colors = gradient->colors();
    out.locations = stopsOf(*gradient);
    const CGPoint s = gradient->startPoint(), e = gradient->endPoint();
    out.start = {bounds.origin.x + s.x * bounds.size.width,
                 bounds.origin.y + s.y * bounds.size.height};
    out.end = {bounds.origin.x + e.x * bounds.size.width,
               bounds.origin.y + e.y * bounds.size.height};
  } else if (auto* text = objc::cast<CATextLayer>(layer)) {
    out.kind = LayerSnapshot::Kind::text;
    out.text = text->string();
    out.fontSize = text->fontSize();
    out.bold = text->isBold();
    out.textColor = *text->foregroundColor();
    out.alignment =
        text->alignment() == CATextLayer::Alignment::center  ? LayerSnapshot::Alignment::center
        : text->alignment() == CATextLayer::Alignment::right ? LayerSnapshot::Alignment::right
                                                             : LayerSnapshot::Alignment::left;
  }
}

// False for a layer that draws nothing (hidden, or fully transparent).
bool copyTree(CALayer* layer, LayerSnapshot& out) {
  if (layer == nullptr || layer->isHidden()) return false;
  const double opacity = std::isfinite(layer->opacity()) ? layer->opacity() : 0.0;
  if (opacity <= 0) return false;
  const CGAffineTransform t = layer->transformToSuperlayer();
  out.offset = {t.tx, t.ty};
  out.bounds = layer->bounds();
  out.opacity = opacity;
  out.masksToBounds = layer->masksToBounds();
  out.hasBackground = layer->backgroundColor() != nullptr;
  if (out.hasBackground) out.background = *layer->backgroundColor();
  out.contents = cg::ImageRef(layer->contents());
  copyOwnContent(layer, out);
  out.sublayers.reserve(layer->sublayers().size());
  for (const auto& sublayer : layer->sublayers()) {
    out.sublayers.emplace_back();
    if (!copyTree(sublayer.get(), out.sublayers.back())) out.sublayers.pop_back();
  }
  if (CALayer* mask = layer->mask()) {
    auto copy = std::make_unique<LayerSnapshot>();
    // A mask that draws nothing still cuts everything away.
    if (!copyTree(mask, *copy)) copy->opacity = 0;
    out.mask = std::move(copy);
  }
  return true;
}

bool sameOwnContent(const LayerSnapshot& a, const LayerSnapshot& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case LayerSnapshot::Kind::shape:
      return a.hasFill == b.hasFill && (!a.hasFill || a.fill == b.fill) && a.evenOdd == b.evenOdd &&
             a.hasStroke == b.hasStroke && (!a.hasStroke || a.stroke == b.stroke) &&
             a.strokeStyle.width == b.strokeStyle.width &&
             a.strokeStyle.join == b.strokeStyle.join && a.strokeStyle.cap == b.strokeStyle.cap &&
             a.strokeStyle.miterLimit == b.strokeStyle.miterLimit &&
             CGPathEqualToPath(a.path.get(), b.path.get());
    case LayerSnapshot::Kind::gradient:
      return a.colors == b.colors && a.locations == b.locations && a.start == b.start &&
             a.end == b.end;
    case LayerSnapshot::Kind::text:
      return a.text == b.text && a.fontSize == b.fontSize && a.bold == b.bold &&
             a.textColor == b.textColor && a.alignment == b.alignment;
    case LayerSnapshot::Kind::plain:
      return true;
  }
  return false;
}

}  // namespace

bool drawsTheSameAlone(const LayerSnapshot& a, const LayerSnapshot& b) {
  if (a.offset != b.offset || a.bounds != b.bounds || a.opacity != b.opacity ||
      a.masksToBounds != b.masksToBounds || a.hasBackground != b.hasBackground ||
      (a.hasBackground && a.background != b.background) || a.contents.get() != b.contents.get() ||
      !sameOwnContent(a, b) || (a.mask == nullptr) != (b.mask == nullptr))
    return false;
  return a.mask == nullptr || drawsTheSame(*a.mask, *b.mask);
}

bool drawsTheSame(const LayerSnapshot& a, const LayerSnapshot& b) {
  if (!drawsTheSameAlone(a, b) || a.sublayers.size() != b.sublayers.size()) return false;
  for (std::size_t i = 0; i < a.sublayers.size(); ++i)
    if (!drawsTheSame(a.sublayers[i], b.sublayers[i])) return false;
  return true;
}

std::shared_ptr<const LayerSnapshot> snapshotLayerTree(CALayer* layer) {
  auto root = std::make_shared<LayerSnapshot>();
  if (layer != nullptr && !copyTree(layer, *root)) {
    // Drawn as nothing, at the layer's size.
    root = std::make_shared<LayerSnapshot>();
    root->bounds = layer->bounds();
    root->opacity = 0;
  }
  return root;
}

}  // namespace render
