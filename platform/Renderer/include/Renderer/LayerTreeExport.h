#pragma once
// The layer tree of a view as data: JSON for checking geometry without pixels, SVG for a
// picture that any viewer scales.
//
// JSON: {"backgroundColor": [r, g, b, a] | null, "bounds": [x, y, w, h], "scale": s,
//        "layers": [ ... every layer below the view's layer, in drawing order ... ]}
// and each layer: {"kind": "shape" | "gradient" | "layer", "depth": 1…, "frame": [x, y, w, h],
//   "opacity": o, "hidden": b, "backgroundColor": rgba | null, and by kind
//   shape:    "fillColor", "strokeColor" (rgba | null), "lineWidth", "lineJoin",
//             "path": [{"closed": b, "points": [[x, y], …]}, …] (layer coordinates)
//   gradient: "colors": [rgba, …], "locations": [l, …], "startPoint", "endPoint",
//             "mask": null | {"kind", "frame", "path", …} }.

#include <string>

#include "UIKit/UIView.h"

namespace render {

std::string layerTreeJson(UIView* view);
// Points of the view's bounds; the picture's pixels follow the viewer.
std::string layerTreeSvg(UIView* view);

}  // namespace render
