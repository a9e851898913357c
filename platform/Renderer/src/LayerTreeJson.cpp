#include <nlohmann/json.hpp>

#include "QuartzCore/QuartzCore.h"
#include "Renderer/LayerTreeExport.h"

namespace render {

namespace {

using nlohmann::json;

json colorJson(CGColorRef color) {
  if (color == nullptr) return nullptr;
  return json::array({color->red(), color->green(), color->blue(), color->alpha()});
}

json rectJson(CGRect r) {
  return json::array({r.origin.x, r.origin.y, r.size.width, r.size.height});
}

json pathJson(CGPathRef path) {
  json subpaths = json::array();
  if (path == nullptr) return subpaths;
  for (std::size_t s = 0; s < path->subpathCount(); ++s) {
    json points = json::array();
    for (const CGPoint& p : path->subpathPoints(s)) points.push_back(json::array({p.x, p.y}));
    subpaths.push_back({{"closed", path->subpath(s).closed}, {"points", std::move(points)}});
  }
  return subpaths;
}

json layerJson(const CALayer* layer, int depth) {
  json out;
  out["depth"] = depth;
  out["frame"] = rectJson(layer->frame());
  out["opacity"] = layer->opacity();
  out["hidden"] = layer->isHidden();
  out["backgroundColor"] = colorJson(layer->backgroundColor());
  if (const auto* shape = objc::cast<CAShapeLayer>(layer)) {
    out["kind"] = "shape";
    out["fillColor"] = colorJson(shape->fillColor());
    out["strokeColor"] = colorJson(shape->strokeColor());
    out["lineWidth"] = shape->lineWidth();
    out["lineJoin"] = shape->lineJoin();
    out["path"] = pathJson(shape->path());
  } else if (const auto* gradient = objc::cast<CAGradientLayer>(layer)) {
    out["kind"] = "gradient";
    json colors = json::array();
    for (const CGColor& c : gradient->colors()) colors.push_back(colorJson(&c));
    out["colors"] = std::move(colors);
    out["locations"] = gradient->locations();
    out["startPoint"] = json::array({gradient->startPoint().x, gradient->startPoint().y});
    out["endPoint"] = json::array({gradient->endPoint().x, gradient->endPoint().y});
  } else {
    out["kind"] = "layer";
  }
  if (const CALayer* mask = layer->mask()) {
    out["mask"] = layerJson(mask, depth);
  } else if (objc::cast<CAGradientLayer>(layer) != nullptr) {
    out["mask"] = nullptr;
  }
  return out;
}

void collect(const CALayer* layer, int depth, json& layers) {
  for (const auto& sublayer : layer->sublayers()) {
    layers.push_back(layerJson(sublayer.get(), depth));
    collect(sublayer.get(), depth + 1, layers);
  }
}

}  // namespace

std::string layerTreeJson(UIView* view) {
  json out;
  if (view == nullptr) return "null";
  CALayer* root = view->layer();
  out["backgroundColor"] = colorJson(root->backgroundColor());
  out["bounds"] = rectJson(root->bounds());
  json layers = json::array();
  collect(root, 1, layers);
  out["layers"] = std::move(layers);
  return out.dump(1);
}

}  // namespace render
