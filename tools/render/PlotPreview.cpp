#include "PlotPreview.h"

#include "Vellamor2/WavePlotFactory.h"
#include "objc/message.h"

namespace preview {

StrongRef<WavePlot> showPlot(UIView* host, NSDictionary* settings) {
  const int visMethod = settings != nullptr ? settings->intValue("visMethod") : 0;
  StrongRef<WavePlot> plot = vellamor2::makePlot(visMethod, host->bounds());
  msgSend<void>(plot.get(), "setup");
  host->addSubview(plot);
  host->bringSubviewToFront(plot);
  msgSend<void>(plot.get(), "updateSettings:", static_cast<id>(settings));
  return plot;
}

Scene makeScene(NSDictionary* settings, Artwork artwork, CGSize size) {
  Scene scene;
  scene.artwork = makeArtworkView(artwork, size);
  scene.plot = showPlot(scene.artwork, settings);
  return scene;
}

void drawFrames(const Scene& scene, const serverDataStruct& record, int frames) {
  // Plots only read the record; the run-time method takes it as the hosts hand it over.
  auto* shared = const_cast<serverDataStruct*>(&record);
  for (int frame = 0; frame < frames; ++frame)
    msgSend<void>(scene.plot.get(), "updateDataAndDraw:", shared);
}

}  // namespace preview
