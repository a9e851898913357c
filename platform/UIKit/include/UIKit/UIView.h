#pragma once
// A view: a rectangle in its superview with ordered subviews, backed by a layer that it owns.
// The layer tree mirrors the view tree (a subview's layer is a sublayer of its superview's
// layer), so a renderer draws views by drawing layers. Main thread only.
//
// The methods that host code and hooks reach by selector are run-time methods whose base
// implementation calls the C++ member; C++ code that triggers them (hit tests, layout) sends by
// selector so that run-time subclasses and hooks take part.

#include <vector>

#include "CoreGraphics/CoreGraphics.h"
#include "Foundation/NSArray.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "objc/StrongRef.h"
#include "objc/runtime.h"

class UIEvent : public NSObject {
  OBJC_NATIVE_CLASS(UIEvent, NSObject)
 public:
  UIEvent() = default;
};

class UIView : public NSObject {
  OBJC_NATIVE_CLASS(UIView, NSObject)
 public:
  UIView();
  ~UIView() override;

  // "initWithFrame:" ("@@:{CGRect=...}"): sets the frame; returns self.
  virtual UIView* initWithFrame(CGRect frame);
  // A new view of class T (native) initialised by a send of "initWithFrame:", so that hooks of
  // that method run.
  template <class T = UIView>
  static StrongRef<T> viewWithFrame(CGRect frame);

  // ---- Geometry ----
  CGRect frame() const { return layer_->frame(); }
  virtual void setFrame(CGRect frame);
  CGRect bounds() const { return layer_->bounds(); }
  virtual void setBounds(CGRect bounds);
  CGPoint center() const;
  // `point` of this view's coordinates in `view`'s (the window root when null).
  CGPoint convertPointToView(CGPoint point, const UIView* view) const;
  CGPoint convertPointFromView(CGPoint point, const UIView* view) const;

  // ---- Tree ----
  const std::vector<StrongRef<UIView>>& subviews() const { return subviews_; }
  // "subviews" as sent by message: the subviews now, as an array the view keeps until the next
  // such message (no caller owns it).
  NSArray* subviewsArray();
  UIView* superview() const { return superview_; }
  // On top of the others; a view with another superview leaves it first.
  void addSubview(UIView* view);
  void insertSubview(UIView* view, unsigned index);
  void bringSubviewToFront(UIView* view);
  void sendSubviewToBack(UIView* view);
  void removeFromSuperview();
  bool isDescendantOfView(const UIView* view) const;

  // ---- Appearance ----
  CALayer* layer() const { return layer_.get(); }
  bool isHidden() const { return layer_->isHidden(); }
  void setHidden(bool hidden) { layer_->setHidden(hidden); }
  CGFloat alpha() const { return layer_->opacity(); }
  void setAlpha(CGFloat alpha) { layer_->setOpacity(static_cast<float>(alpha)); }
  // The background paints the layer; a subclass may take the property over.
  virtual UIColor* backgroundColor() const { return backgroundColor_.get(); }
  virtual void setBackgroundColor(UIColor* color);
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }

  // ---- Touches ----
  virtual bool pointInside(CGPoint point, UIEvent* event);
  // The deepest visible, interactive view under `point` (this view's coordinates) whose
  // "pointInside:withEvent:" says yes, searching front to back; null when none.
  virtual UIView* hitTest(CGPoint point, UIEvent* event);

  // ---- Layout ----
  virtual void layoutSubviews() {}
  void setNeedsLayout() { needsLayout_ = true; }
  // Sends "layoutSubviews" when a layout is pending (frame size changed, subviews changed).
  void layoutIfNeeded();

  static void registerMethods_(Class cls);

 private:
  void detachSubview(UIView* view);

  StrongRef<CALayer> layer_;
  std::vector<StrongRef<UIView>> subviews_;
  UIView* superview_ = nullptr;
  StrongRef<UIColor> backgroundColor_;
  StrongRef<NSArray> subviewsArray_;
  bool userInteractionEnabled_ = true;
  bool needsLayout_ = true;
};

#include "objc/message.h"

template <class T>
StrongRef<T> UIView::viewWithFrame(CGRect frame) {
  auto view = objc::make<T>();
  msgSend<id>(view.get(), "initWithFrame:", frame);
  return view;
}
