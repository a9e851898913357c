#pragma once
// A layer: a rectangle in its superlayer's coordinates with an ordered list of sublayers drawn
// over its background colour (and contents image), first sublayer lowest. Geometry is kept
// simple: frame origin plus bounds, no anchor point or 3-D transform. Main thread only.

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
  void setOpacity(float opacity) { opacity_ = opacity; }
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque) { opaque_ = opaque; }
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden) { hidden_ = hidden; }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool clip) { masksToBounds_ = clip; }
  // A layer whose filled shape (in this layer's coordinates) cuts this layer out. It belongs to
  // no superlayer while it masks.
  CALayer* mask() const { return mask_.get(); }
  void setMask(CALayer* mask);
  // An image stretched over the bounds, drawn below the sublayers.
  CGImageRef contents() const { return contents_.get(); }
  void setContents(CGImageRef image) { contents_ = cg::ImageRef(image); }

  static void registerMethods_(Class cls);

 private:
  void detachSublayer(CALayer* layer);

  CGPoint frameOrigin_;
  CGRect bounds_;
  std::vector<StrongRef<CALayer>> sublayers_;
  CALayer* superlayer_ = nullptr;
  StrongRef<CALayer> mask_;
  cg::ImageRef contents_;
  CGColor background_;
  bool hasBackground_ = false;
  float opacity_ = 1.0f;
  bool opaque_ = false;
  bool hidden_ = false;
  bool masksToBounds_ = false;
};
