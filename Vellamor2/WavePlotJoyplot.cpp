#include "Vellamor2/WavePlotJoyplot.h"

#include <Accelerate/Accelerate.h>

#include <algorithm>
#include <cstring>

#include "Vellamor2/WavePlotRecord.h"
#include "Vellamor2/WavePlotSettings.h"
#include "objc/message.h"

// ---- Shared with the debug plot ----

int WavePlotJoyplot::amplitudeClassOf(double maximum) {
  if (maximum > 0.85) return kRed;
  if (maximum > 0.6) return kYellow;
  return kGreen;
}

void WavePlotJoyplot::windowLines(const serverDataStruct* record, unsigned lines, unsigned frames,
                                  const float* window, float gain, float* work, CGPoint* points) {
  std::memcpy(work, record->data[0], sizeof(float) * lines * frames);
  for (unsigned i = 0; i < lines; ++i) {
    float* samples = work + static_cast<std::size_t>(i) * frames;
    vDSP_vmul(samples, 1, window, 1, samples, 1, frames);
    CGPoint* line = points + static_cast<std::size_t>(i) * (frames + 2);
    for (unsigned j = 0; j < frames; ++j) {
      float v = gain * samples[j];
      if (!(v < 1.0f)) v = 1.0f;  // NaN too
      if (v < -1.0f) v = -1.0f;
      line[j] = CGPointMake(j, v);
    }
  }
}

StrongRef<CAShapeLayer> WavePlotJoyplot::makeLineLayer(CGRect frame) {
  StrongRef<CAShapeLayer> layer = CAShapeLayer::layer();
  layer->setFrame(frame);
  layer->setLineWidth(1.0);
  layer->setLineJoin(kCALineJoinRound);
  layer->setFillColor(nullptr);
  layer->setOpacity(1.0f);
  layer->setOpaque(true);
  layer->setBackgroundColor(nullptr);
  layer->setStrokeColor(nullptr);
  return layer;
}

// ---- The plot ----

void WavePlotJoyplot::setup() {
  joyplots_ = kLines;
  numberFrames_ = 4096;
  waveGain_ = 1.0f;
  colorByAmplitude_ = 0.0f;

  for (const auto& layer : joyplotLayers_) layer->removeFromSuperlayer();
  joyplotLayers_.clear();
  for (unsigned i = 0; i < kLines; ++i) joyplotLayers_.push_back(makeLineLayer(bounds()));

  WavePlot::setup();
  resetWaveformSublayers();

  // Made once for the largest history; a frame only reuses them.
  displayPoints_.assign(kDisplayPoints, CGPoint{});
  workData_.assign(kWorkLength, 0.0f);
  hammArray_.assign(kHammLength, 0.0f);
}

void WavePlotJoyplot::updateSettings(NSDictionary* settings) {
  WavePlot::updateSettings(settings);
  waveGain_ = settingFloat(settings, "waveGain");
  colorByAmplitude_ = settingInteger(settings, "colourMethod") == 1 ? 1.0f : 0.0f;
  joyplotMask_ = settingBool(settings, "joyplotMask");
  setFill();
  resetWaveformSublayers();
}

void WavePlotJoyplot::resetWaveformSublayers() {
  for (const auto& layer : joyplotLayers_) layer->removeFromSuperlayer();
  // Masked, the newest line lies on top; unmasked, line 0 carries every line.
  const std::size_t shown =
      joyplotMask_ ? joyplotLayers_.size() : std::min<std::size_t>(1, joyplotLayers_.size());
  for (std::size_t i = 0; i < shown; ++i)
    layer()->insertSublayer(joyplotLayers_[i], static_cast<unsigned>(i));
}

StrongRef<UIColor> WavePlotJoyplot::opaqueBackground() const {
  UIColor* background = backgroundColor();
  return background != nullptr ? background->colorWithAlphaComponent(1.0) : nullptr;
}

void WavePlotJoyplot::setFill() {
  const StrongRef<UIColor> fill = joyplotMask_ ? opaqueBackground() : nullptr;
  for (const auto& line : joyplotLayers_) {
    line->setFillColor(CGColorOf(fill));
    line->setStrokeColor(CGColorOf(primaryColor()));
  }
}

void WavePlotJoyplot::setFilltoAmp() {
  if (workData_.empty() || joyplotLayers_.empty()) return;
  const unsigned J = std::min<unsigned>(joyplots_, joyplotLayers_.size());
  const unsigned F = std::min(numberFrames_, kMaxFrames);
  const float* work = workData_.data();
  if (joyplotMask_) {
    const StrongRef<UIColor> fill = opaqueBackground();
    for (unsigned i = 0; i < J; ++i) {
      float maximum = 0.0f;
      vDSP_maxv(work + static_cast<std::size_t>(i) * F, 1, &maximum, F);
      amplitudeColor_ = amplitudeColorFor(maximum);
      joyplotLayers_[i]->setFillColor(CGColorOf(fill));
      joyplotLayers_[i]->setStrokeColor(CGColorOf(amplitudeColor_));
    }
    return;
  }
  float maximum = 0.0f;
  vDSP_maxv(work, 1, &maximum, static_cast<vDSP_Length>(J) * F);
  const int amplitudeClass = amplitudeClassOf(maximum);
  // Only a change of class recolours: a colour set in between (settings, primary colour) stays
  // until the loudness moves into another class.
  if (amplitudeClass == amplitudeStatus_) return;
  amplitudeColor_ = amplitudeColorFor(maximum);
  amplitudeStatus_ = amplitudeClass;
  joyplotLayers_[0]->setFillColor(nullptr);
  joyplotLayers_[0]->setStrokeColor(CGColorOf(amplitudeColor_));
}

void WavePlotJoyplot::changePrimaryColor(UIColor* color) {
  WavePlot::changePrimaryColor(color);
  setFill();
}

void WavePlotJoyplot::changeBackgroundColor(UIColor* color) {
  WavePlot::changeBackgroundColor(color);
  // The line fills keep their colour until the next setFill.
  layer()->setBackgroundColor(CGColorOf(backgroundColor()));
}

void WavePlotJoyplot::checkForAudioFormatChange(const serverDataStruct* record) {
  adoptAudioFormat(record, numberBuffers_, numberFrames_);
  const unsigned F = std::min(numberFrames_, kMaxFrames);
  if (!hammArray_.empty() && F != 0) vDSP_hamm_window(hammArray_.data(), F, 0);
}

void WavePlotJoyplot::updateDataAndDraw(const serverDataStruct* record) {
  checkForAudioFormatChange(record);
  // Nothing to draw from (no audio yet, a bad count, or before setup): the paths stay.
  if (!recordIsDrawable(record) || workData_.empty() || joyplotLayers_.size() < kLines) return;

  const unsigned J = std::min(joyplots_, kLines);
  const unsigned F = std::min(numberFrames_, kMaxFrames);
  if (F == 0 || J == 0) return;
  CGPoint* points = displayPoints_.data();
  windowLines(record, J, F, hammArray_.data(), waveGain_, workData_.data(), points);

  if (colorByAmplitude_ != 0.0f) setFilltoAmp();

  for (unsigned i = 0; i < J; ++i) {
    CAShapeLayer* shape = joyplotLayers_[i];
    const CGRect bounds = shape != nullptr ? shape->bounds() : CGRectZero;
    const double W = bounds.size.width, H = bounds.size.height;
    const double yOff = static_cast<double>(i) / (J + 2) + kLineScale / 1.5;
    // Both closing points land on the bottom edge: yOff × H + 0.1 H × (1 − yOff) / 0.1 = H.
    CGPoint* line = points + static_cast<std::size_t>(i) * (F + 2);
    const double bottom = (1.0 - yOff) / kLineScale;
    line[F] = CGPointMake(F, bottom);
    line[F + 1] = CGPointMake(0, bottom);
    const CGAffineTransform transform = CGAffineTransformScale(
        CGAffineTransformMakeTranslation(0, yOff * H), W / F, kLineScale * H);
    if (joyplotMask_) {
      CGMutablePathRef path = CGPathCreateMutable();
      CGPathAddLines(path, &transform, line, F + 2);
      CGPathCloseSubpath(path);
      shape->setPath(path);
      CGPathRelease(path);
    } else {
      for (unsigned k = 0; k < F + 2; ++k)
        line[k] = CGPointApplyAffineTransform(line[k], transform);
    }
  }

  if (!joyplotMask_) {
    // One open polyline through every line's points and closing points, in index order.
    CGMutablePathRef path = CGPathCreateMutable();
    CGPathAddLines(path, nullptr, points, static_cast<std::size_t>(J) * (F + 2));
    joyplotLayers_[0]->setPath(path);
    CGPathRelease(path);
  }
}

void WavePlotJoyplot::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "setFill", +[](id self, SEL) { static_cast<WavePlotJoyplot*>(self)->setFill(); });
  objc::addMethod(
      cls, "setFilltoAmp",
      +[](id self, SEL) { static_cast<WavePlotJoyplot*>(self)->setFilltoAmp(); });
}
