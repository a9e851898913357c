#pragma once
// A view controller: owns one view, made on first access through "loadView" and followed by
// "viewDidLoad"; the appearance callbacks are run-time methods that host subclasses override
// and tweaks hook. C++ callers reach them with msgSend so that those replacements run.

#include "UIKit/UIView.h"
#include "objc/StrongRef.h"
#include "objc/runtime.h"

class UIViewController : public NSObject {
  OBJC_NATIVE_CLASS(UIViewController, NSObject)
 public:
  UIViewController() = default;

  // Loads the view when there is none yet (sends "loadView", then "viewDidLoad").
  UIView* view();
  bool isViewLoaded() const { return static_cast<bool>(view_); }
  void setView(UIView* view) { view_ = StrongRef<UIView>(view); }

  // Base behaviour of the run-time methods.
  virtual void loadView();  // a plain view with a zero frame
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }

  static void registerMethods_(Class cls);

 private:
  StrongRef<UIView> view_;
};
