#include "Vellamor2/WavePlotFactory.h"

#include "Vellamor2/WavePlotWaveform.h"
#include "objc/message.h"

namespace vellamor2 {

const char* plotClassName(int visMethod) {
  switch (visMethod) {
    case 1:
      return "WavePlotWaveBars";
    case 2:
      return "WavePlotBars";
    case 3:
      return "WavePlotJoyplot";
    case 99:
      return "WavePlotDebug";
    default:
      return "WavePlotWaveform";
  }
}

StrongRef<WavePlot> makePlot(int visMethod, CGRect frame) {
  // Looked up by name, so each plot joins as soon as its class is part of the library.
  Class cls = objc_getClass(plotClassName(visMethod));
  if (cls == nullptr || !class_isSubclassOf(cls, WavePlot::class_()))
    cls = WavePlotWaveform::class_();
  auto instance = StrongRef<NSObject>::adopt(class_createInstance(cls));
  StrongRef<WavePlot> plot(objc::cast<WavePlot>(instance.get()));
  if (plot == nullptr) plot = objc::make<WavePlotWaveform>();
  msgSend<id>(plot.get(), "initWithFrame:", frame);
  return plot;
}

}  // namespace vellamor2
