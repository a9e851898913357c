#include "Vellamor2/WavePlotDebug.h"

#include <Accelerate/Accelerate.h>

#include <algorithm>

#include "Vellamor2/WavePlotJoyplot.h"
#include "Vellamor2/WavePlotRecord.h"
#include "Vellamor2/WavePlotSettings.h"
#include "objc/message.h"

void WavePlotDebug::setup() {
  joyplots_ = kLines;
  numberFrames_ = 4096;
  waveGain_ = 1.0f;
  colorByAmplitude_ = 0.0f;

  for (const auto& layer : joyplotLayers_) layer->removeFromSuperlayer();
  joyplotLayers_.clear();
  for (unsigned i = 0; i < kLines; ++i)
    joyplotLayers_.push_back(WavePlotJoyplot::makeLineLayer(bounds()));

  WavePlot::setup();
  resetWaveformSublayers();

  displayPoints_.assign(kDisplayPoints, CGPoint{});
  workData_.assign(kWorkLength, 0.0f);
  hammArray_.assign(kHammLength, 0.0f);
}

void WavePlotDebug::updateSettings(NSDictionary* settings) {
  WavePlot::updateSettings(settings);
  waveGain_ = settingFloat(settings, "waveGain");
  colorByAmplitude_ = settingInteger(settings, "colourMethod") == 1 ? 1.0f : 0.0f;
  setFill();
  resetWaveformSublayers();
}

void WavePlotDebug::resetWaveformSublayers() {
  for (const auto& layer : joyplotLayers_) layer->removeFromSuperlayer();
  for (std::size_t i = 0; i < joyplotLayers_.size(); ++i)
    layer()->insertSublayer(joyplotLayers_[i], static_cast<unsigned>(i));
}

StrongRef<UIColor> WavePlotDebug::opaqueBackground() const {
  UIColor* background = backgroundColor();
  return background != nullptr ? background->colorWithAlphaComponent(1.0) : nullptr;
}

void WavePlotDebug::setFill() {
  if (colorByAmplitude_ != 0.0f) return;
  const StrongRef<UIColor> fill = opaqueBackground();
  for (const auto& line : joyplotLayers_) {
    line->setFillColor(CGColorOf(fill));
    line->setStrokeColor(CGColorOf(primaryColor()));
  }
}

void WavePlotDebug::setFilltoAmp() {
  if (workData_.empty()) return;
  const unsigned J = std::min<unsigned>(joyplots_, joyplotLayers_.size());
  const unsigned F = std::min(numberFrames_, kMaxFrames);
  const StrongRef<UIColor> fill = opaqueBackground();
  for (unsigned i = 0; i < J; ++i) {
    float maximum = 0.0f;
    vDSP_maxv(workData_.data() + static_cast<std::size_t>(i) * F, 1, &maximum, F);
    amplitudeColor_ = amplitudeColorFor(maximum);
    joyplotLayers_[i]->setFillColor(CGColorOf(fill));
    joyplotLayers_[i]->setStrokeColor(CGColorOf(amplitudeColor_));
  }
}

void WavePlotDebug::changePrimaryColor(UIColor* color) {
  WavePlot::changePrimaryColor(color);
  setFill();
}

void WavePlotDebug::changeBackgroundColor(UIColor* color) {
  WavePlot::changeBackgroundColor(color);
  // The line fills follow at the next setFill or amplitude frame.
  layer()->setBackgroundColor(CGColorOf(opaqueBackground()));
}

void WavePlotDebug::checkForAudioFormatChange(const serverDataStruct* record) {
  adoptAudioFormat(record, numberBuffers_, numberFrames_);
}

void WavePlotDebug::updateDataAndDraw(const serverDataStruct* record) {
  checkForAudioFormatChange(record);
  // Nothing to draw from (no audio yet, a bad count, or before setup): the paths stay.
  if (!recordIsDrawable(record) || workData_.empty() || joyplotLayers_.size() < kLines) return;

  const unsigned J = std::min(joyplots_, kLines);
  const unsigned F = std::min(numberFrames_, kMaxFrames);
  if (F == 0 || J == 0) return;
  vDSP_hamm_window(hammArray_.data(), F, 0);
  CGPoint* points = displayPoints_.data();
  WavePlotJoyplot::windowLines(record, J, F, hammArray_.data(), waveGain_, workData_.data(),
                               points);

  if (colorByAmplitude_ != 0.0f) setFilltoAmp();

  for (unsigned i = 0; i < J; ++i) {
    CAShapeLayer* shape = joyplotLayers_[i];
    const CGRect bounds = shape != nullptr ? shape->bounds() : CGRectZero;
    const double W = bounds.size.width, H = bounds.size.height;
    const double yOff = static_cast<double>(i) / J;
    // With 20 lines both closing points land on the bottom corners.
    CGPoint* line = points + static_cast<std::size_t>(i) * (F + 2);
    const double bottom = (J - i) * 0.5;
    line[F] = CGPointMake(F, bottom);
    line[F + 1] = CGPointMake(0, bottom);
    const CGAffineTransform transform = CGAffineTransformScale(
        CGAffineTransformMakeTranslation(0, yOff * H), W / F, kLineScale * H);
    CGMutablePathRef path = CGPathCreateMutable();
    CGPathAddLines(path, &transform, line, F + 2);
    CGPathCloseSubpath(path);
    shape->setPath(path);
    CGPathRelease(path);
  }
}

void WavePlotDebug::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "setFill", +[](id self, SEL) { static_cast<WavePlotDebug*>(self)->setFill(); });
  objc::addMethod(
      cls, "setFilltoAmp",
      +[](id self, SEL) { static_cast<WavePlotDebug*>(self)->setFilltoAmp(); });
}
