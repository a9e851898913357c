#pragma once
// A layer: a rectangle in its superlayer's coordinates with an ordered list of sublayers drawn
// over its background colour (and contents image), first sublayer lowest. Geometry is kept
// simple: frame origin plus bounds, no anchor point or 3-D transform. Main thread only.
//
// Every change of what the renderer would draw (a drawn property set to a new value, a sublayer
// or mask put in or taken out) is numbered in one count per process, and each layer keeps the
// number of the latest change that shows in it, so a watch of the screen learns whether anything
// changed without walking the tree, as the render server learns it from a commit.

#include <cstdint>
#include <vector>

#include "CoreGraphics/CoreGraphics.h"
#include "objc/StrongRef.h"
#include "objc/runtime.h"

class CALayer : public NSObject {
  OBJC_NATIVE_CLASS(CALayer, NSObject)
 public:
  CALayer() = default;
  ~CALayer() override;
  static StrongRef<CALayer> layer() { return objc::make<CALayer>(); }

  // ---- Geometry ----
  // The frame is in the superlayer's coordinates; its size is the bounds' size.
  CGRect frame() const { return {frameOrigin_, bounds_.size}; }
  void setFrame(CGRect frame);
  // The layer's own coordinate space: sublayer frames and paths are given in it.
  CGRect bounds() const { return bounds_; }
  void setBounds(CGRect bounds);
  // Maps a point of this layer's coordinates into its superlayer's.
  CGAffineTransform transformToSuperlayer() const;

  // ---- Tree ----
  const std::vector<StrongRef<CALayer>>& sublayers() const { return sublayers_; }
  CALayer* superlayer() const { return superlayer_; }
  // Appends on top; a layer with another superlayer leaves that one first.
  void addSublayer(CALayer* layer);
  // At `index` in the sublayers (0 = lowest); an index past the end appends.
  void insertSublayer(CALayer* layer, unsigned index);
  void insertSublayerBelow(CALayer* layer, CALayer* sibling);
  void insertSublayerAbove(CALayer* layer, CALayer* sibling);
  void removeFromSuperlayer();

  // ---- Appearance ----
  CGColorRef backgroundColor() const { return hasBackground_ ? &background_ : nullptr; }
  void setBackgroundColor(CGColorRef color);
  float opacity() const { return opacity_; }
  void setOpacity(float opacity) { setDrawn(opacity_, opacity); }
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque) { setDrawn(opaque_, opaque); }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool clip) { setDrawn(masksToBounds_, clip); }
  // A layer whose filled shape (in this layer's coordinates) cuts this layer out. It belongs to
  // no superlayer while it masks.
  CALayer* mask() const { return mask_.get(); }
  void setMask(CALayer* mask);
  // An image stretched over the bounds, drawn below the sublayers.
  CGImageRef contents() const { return contents_.get(); }
  void setContents(CGImageRef image);

  // ---- Changes ----
  // How many times this process has rearranged layers so far: a sublayer or mask put in or
  // taken out, a layer hidden or shown. What is in the tree, and what shows, changes only then.
  static std::uint64_t arrangementsInProcess();
  // The number of the latest change that shows in this layer: of its own drawn properties, its
  // sublayers or mask, or anything below them that no hidden layer covers; 0 before any.
  std::uint64_t lastChange() const { return lastChange_; }

  static void registerMethods_(Class cls);

 protected:
  // Sets a drawn property; a value equal to the present one is no change.
  template <class T, class U>
  void setDrawn(T& field, const U& value) {
    if (field == value) return;
    field = value;
    noteChange();
  }
  // A colour that may be none (null), kept in `value` with `has` telling whether there is one.
  void setDrawnColor(bool& has, CGColor& value, CGColorRef color);
  // Books a change of this layer's drawn properties (or of its sublayers or mask).
  void noteChange();

 private:
  void detachSublayer(CALayer* layer);
  // Numbers a change that shows in this layer and in its ancestors up to a hidden one.
  void markChangedFromHere();

  CGPoint frameOrigin_;
  CGRect bounds_;
  std::vector<StrongRef<CALayer>> sublayers_;
  CALayer* superlayer_ = nullptr;
  StrongRef<CALayer> mask_;
  CALayer* masked_ = nullptr;  // the layer this one is the mask of (which holds it)
  cg::ImageRef contents_;
  CGColor background_;
  bool hasBackground_ = false;
  float opacity_ = 1.0f;
  bool opaque_ = false;
  bool hidden_ = false;
  bool masksToBounds_ = false;
  std::uint64_t lastChange_ = 0;
};
