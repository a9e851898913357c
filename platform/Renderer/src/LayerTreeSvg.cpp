#include <cmath>
#include <cstdio>
#include <string>

#include "Canvas.h"
#include "QuartzCore/QuartzCore.h"
#include "Renderer/LayerTreeExport.h"

namespace render {

namespace {

std::string number(double v) {
  if (!std::isfinite(v)) return "0";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", v);
  // Trim trailing zeros: "12.500" → "12.5", "3.000" → "3".
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

std::string paint(CGColorRef color) {
  if (color == nullptr) return "none";
  const CGColor c = clampedColor(*color);
  char text[64];
  std::snprintf(text, sizeof text, "rgb(%d,%d,%d)", static_cast<int>(std::lround(c.red() * 255)),
                static_cast<int>(std::lround(c.green() * 255)),
                static_cast<int>(std::lround(c.blue() * 255)));
  return text;
}

std::string opacityOf(CGColorRef color) {
  return color == nullptr ? "0" : number(clampedColor(*color).alpha());
}

std::string pathData(CGPathRef path) {
  std::string d;
  if (path == nullptr) return d;
  for (std::size_t s = 0; s < path->subpathCount(); ++s) {
    const auto points = path->subpathPoints(s);
    for (std::size_t i = 0; i < points.size(); ++i) {
      d += i == 0 ? "M" : "L";
      d += number(points[i].x) + " " + number(points[i].y) + " ";
    }
    if (path->subpath(s).closed && !points.empty()) d += "Z ";
  }
  return d;
}

class SvgWriter {
 public:
  std::string body;
  std::string defs;

  void layer(const CALayer* layer, bool isRoot) {
    if (layer->isHidden()) return;
    const CGAffineTransform t = layer->transformToSuperlayer();
    std::string open = "<g";
    if (!isRoot) open += " transform=\"translate(" + number(t.tx) + " " + number(t.ty) + ")\"";
    if (layer->opacity() < 1) open += " opacity=\"" + number(layer->opacity()) + "\"";
    if (const CALayer* mask = layer->mask()) {
      const std::string id = "mask" + std::to_string(++ids_);
      SvgWriter inner;
      inner.ids_ = ids_;
      inner.layer(mask, false);
      ids_ = inner.ids_;
      defs += inner.defs;
      defs += "<mask id=\"" + id +
              "\" maskUnits=\"userSpaceOnUse\" x=\"-100000\" y=\"-100000\" "
              "width=\"200000\" height=\"200000\" style=\"mask-type:alpha\">" +
              inner.body + "</mask>\n";
      open += " mask=\"url(#" + id + ")\"";
    }
    body += open + ">\n";
    const CGRect b = layer->bounds();
    if (CGColorRef bg = layer->backgroundColor()) {
      body += "<rect x=\"" + number(b.origin.x) + "\" y=\"" + number(b.origin.y) + "\" width=\"" +
              number(b.size.width) + "\" height=\"" + number(b.size.height) + "\" fill=\"" +
              paint(bg) + "\" fill-opacity=\"" + opacityOf(bg) + "\"/>\n";
    }
    if (const auto* shape = objc::cast<CAShapeLayer>(layer)) {
      if (shape->path() != nullptr && !shape->path()->isEmpty()) {
        body +=
            "<path d=\"" + pathData(shape->path()) + "\" fill=\"" + paint(shape->fillColor()) +
            "\" fill-opacity=\"" + opacityOf(shape->fillColor()) + "\" fill-rule=\"" +
            (shape->fillRuleStyle() == CAShapeLayer::FillRule::evenOdd ? "evenodd" : "nonzero") +
            "\" stroke=\"" + paint(shape->strokeColor()) + "\" stroke-opacity=\"" +
            opacityOf(shape->strokeColor()) + "\" stroke-width=\"" + number(shape->lineWidth()) +
            "\" stroke-linejoin=\"" + shape->lineJoin() + "\" stroke-linecap=\"" +
            shape->lineCap() + "\"/>\n";
      }
    } else if (const auto* gradient = objc::cast<CAGradientLayer>(layer)) {
      const std::string id = "gradient" + std::to_string(++ids_);
      const CGPoint s = gradient->startPoint(), e = gradient->endPoint();
      defs += "<linearGradient id=\"" + id + "\" gradientUnits=\"userSpaceOnUse\" x1=\"" +
              number(b.origin.x + s.x * b.size.width) + "\" y1=\"" +
              number(b.origin.y + s.y * b.size.height) + "\" x2=\"" +
              number(b.origin.x + e.x * b.size.width) + "\" y2=\"" +
              number(b.origin.y + e.y * b.size.height) + "\">";
      const auto& colors = gradient->colors();
      const auto& locations = gradient->locations();
      for (std::size_t i = 0; i < colors.size(); ++i) {
        const double offset = locations.size() >= colors.size()
                                  ? locations[i]
                                  : (colors.size() > 1 ? double(i) / double(colors.size() - 1) : 0);
        defs += "<stop offset=\"" + number(offset) + "\" stop-color=\"" + paint(&colors[i]) +
                "\" stop-opacity=\"" + opacityOf(&colors[i]) + "\"/>";
      }
      defs += "</linearGradient>\n";
      body += "<rect x=\"" + number(b.origin.x) + "\" y=\"" + number(b.origin.y) + "\" width=\"" +
              number(b.size.width) + "\" height=\"" + number(b.size.height) + "\" fill=\"url(#" +
              id + ")\"/>\n";
    }
    for (const auto& sublayer : layer->sublayers()) this->layer(sublayer.get(), false);
    body += "</g>\n";
  }

 private:
  int ids_ = 0;
};

}  // namespace

std::string layerTreeSvg(UIView* view) {
  if (view == nullptr) return {};
  const CGRect b = view->layer()->bounds();
  SvgWriter writer;
  writer.layer(view->layer(), true);
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + number(b.size.width) +
         "\" height=\"" + number(b.size.height) + "\" viewBox=\"" + number(b.origin.x) + " " +
         number(b.origin.y) + " " + number(b.size.width) + " " + number(b.size.height) +
         "\">\n<defs>\n" + writer.defs + "</defs>\n" + writer.body + "</svg>\n";
}

}  // namespace render
