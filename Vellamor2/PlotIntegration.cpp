#include "Vellamor2/PlotIntegration.h"

#include <Foundation/NSRunLoop.h>
#include <QuartzCore/CADisplayLink.h>
#include <UIKit/UIKit.h>

#include "Vellamor2/WavePlotFactory.h"

namespace vellamor2 {
namespace {

bool keptColoursComeBack(const PlotRecord& record, NSDictionary* settings, KeptColourRule rule) {
  if (settings == nullptr || !settings->boolValue("enabledCF") || !record.savedPrimaryColor)
    return false;
  return rule == KeptColourRule::primary || record.savedBackgroundColor;
}

}  // namespace

void showPlot(const PlotRecord& record, NSDictionary* settings, KeptColourRule rule) {
  const int visMethod = settings != nullptr ? settings->intValue("visMethod") : 0;
  auto* hostView = objc::cast<UIView>(record.hostView.get());
  const CGRect frame = hostView != nullptr ? hostView->bounds() : CGRect{};
  record.plot = makePlot(visMethod, frame);
  id plot = record.plot.get();
  if (plot == nullptr) return;
  msgSend<void>(plot, "setup");
  if (hostView != nullptr) {
    hostView->addSubview(objc::cast<UIView>(plot));
    hostView->bringSubviewToFront(objc::cast<UIView>(plot));
  }
  if (keptColoursComeBack(record, settings, rule)) {
    msgSend<void>(plot, "changePrimaryColor:", record.savedPrimaryColor.get());
    msgSend<void>(plot, "changeSecondaryColor:", record.savedSecondaryColor.get());
    msgSend<void>(plot, "changeBackgroundColor:", record.savedBackgroundColor.get());
  }
  msgSend<void>(plot, "updateSettings:", settings);
}

void hidePlot(const PlotRecord& record) {
  if (!record.plot) return;
  msgSend<void>(record.displayLink.get(), "invalidate");
  // The plot stays alive through the calls below even if a colour handler replaces the record.
  StrongRef<NSObject> plot = record.plot;
  record.savedSecondaryColor = msgSend<id>(plot.get(), "getSecondaryColor");
  record.savedPrimaryColor = msgSend<id>(plot.get(), "getPrimaryColor");
  record.savedBackgroundColor = msgSend<id>(plot.get(), "getBackgroundColor");
  msgSend<void>(plot.get(), "clear");
  if (auto* view = objc::cast<UIView>(plot.get())) view->removeFromSuperview();
  record.plot = nullptr;
}

void startDisplayLink(const PlotRecord& record, id target) {
  StrongRef<CADisplayLink> link = CADisplayLink::displayLinkWithTarget(target, "drawPlot:");
  link->setFrameInterval(kFrameInterval);
  link->addToRunLoop(NSRunLoop::mainRunLoop()->getCFRunLoop(), NSDefaultRunLoopMode);
  record.displayLink = link;
}

StrongRef<NSObject> colourWithAlpha(NSObject* colour, float alpha) {
  auto* given = objc::cast<UIColor>(colour);
  if (given == nullptr) return nullptr;
  return given->colorWithAlphaComponent(alpha);
}

}  // namespace vellamor2
