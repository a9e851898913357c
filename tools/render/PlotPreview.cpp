#include "PlotPreview.h"

#include "Vellamor2/WavePlotFactory.h"
#include "objc/message.h"

namespace preview {

Scene makeScene(NSDictionary* settings, Artwork artwork, CGSize size) {
  Scene scene;
  scene.artwork = makeArtworkView(artwork, size);
  const int visMethod = settings != nullptr ? settings->intValue("visMethod") : 0;
  scene.plot = vellamor2::makePlot(visMethod, scene.artwork->bounds());
  msgSend<void>(scene.plot.get(), "setup");
  scene.artwork->addSubview(scene.plot);
  scene.artwork->bringSubviewToFront(scene.plot);
  msgSend<void>(scene.plot.get(), "updateSettings:", static_cast<id>(settings));
  return scene;
}

void drawFrames(const Scene& scene, const serverDataStruct& record, int frames) {
  // Plots only read the record; the run-time method takes it as the hosts hand it over.
  auto* shared = const_cast<serverDataStruct*>(&record);
  for (int frame = 0; frame < frames; ++frame)
    msgSend<void>(scene.plot.get(), "updateDataAndDraw:", shared);
}

}  // namespace preview
