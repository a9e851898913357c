#pragma once
// A plot over an artwork, driven as a host drives one: created with the artwork's bounds, set
// up, added on top of the artwork, given the settings once, then drawn frame by frame.

#include <Foundation/Foundation.h>
#include <UIKit/UIKit.h>

#include "SampleArtwork.h"
#include "Vellamor2/WavePlot.h"
#include "Vellamor2/WavePlotRecord.h"

namespace preview {

struct Scene {
  StrongRef<UIView> artwork;
  StrongRef<WavePlot> plot;
};

// The plot that "visMethod" in `settings` names, shown over `host` as the lock screen shows
// one: made with the host's bounds, set up, put on top, given the settings once.
StrongRef<WavePlot> showPlot(UIView* host, NSDictionary* settings);

// The plot that "visMethod" in `settings` names, over `artwork` of `size` points.
Scene makeScene(NSDictionary* settings, Artwork artwork, CGSize size);

// `frames` draws of the same record (so that smoothing from frame to frame shows).
void drawFrames(const Scene& scene, const serverDataStruct& record, int frames);

}  // namespace preview
