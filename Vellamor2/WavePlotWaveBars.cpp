#include "Vellamor2/WavePlotWaveBars.h"

#include <algorithm>
#include <cmath>

#include "Vellamor2/WavePlotRecord.h"
#include "Vellamor2/WavePlotSettings.h"
#include "objc/message.h"

void WavePlotWaveBars::setup() {
  numberBuffers_ = 2;
  numberFrames_ = 4096;
  buffersPerPlot_ = 20;
  barsPerPlot_ = 128;
  shouldFill_ = true;
  sensitivity_ = 30.0f;
  overlay_ = false;
  waveGain_ = 1.0f;
  colorByAmplitude_ = 0.0f;

  for (const auto& bar : waveformLayers_) bar->removeFromSuperlayer();
  waveformLayers_.clear();
  for (std::size_t i = 0; i < kBarLayers; ++i) {
    StrongRef<CAShapeLayer> bar = CAShapeLayer::layer();
    bar->setFrame(bounds());
    bar->setLineWidth(1.0);
    bar->setFillColor(nullptr);
    bar->setOpacity(1.0f);
    bar->setBackgroundColor(nullptr);
    bar->setStrokeColor(nullptr);
    waveformLayers_.push_back(bar);
  }
  if (gradientLayer_ != nullptr) gradientLayer_->removeFromSuperlayer();
  gradientLayer_ = CAGradientLayer::layer();
  gradientLayer_->setFrame(bounds());
  // Keeps the shape layer's opaque fill, so the gradient shows inside the bars.
  maskLayer_ = CAShapeLayer::layer();
  maskLayer_->setFrame(bounds());

  WavePlot::setup();
  resetWaveformSublayers();

  // Made once for the largest input; a frame only reuses them.
  displayPoints_.assign(kDisplayPoints, CGPoint{});
  workData_.assign(kWorkLength, 0.0f);
  barsData_.assign(kWorkLength, 0.0f);
}

void WavePlotWaveBars::updateSettings(NSDictionary* settings) {
  WavePlot::updateSettings(settings);
  barsPerPlot_ = static_cast<unsigned long>(
      std::clamp<long>(settingInteger(settings, "waveBarsNumber"), static_cast<long>(kMinBars),
                       static_cast<long>(kMaxBars)));
  buffersPerPlot_ = static_cast<unsigned long>(
      std::clamp<long>(settingInteger(settings, "waveBarsBuffersPerPlot"), 1,
                       static_cast<long>(kMaxBuffersPerPlot)));
  const float gain = settingFloat(settings, "waveBarsGain");
  waveGain_ = std::isfinite(gain) ? gain : kDefaultGain;
  overlay_ = settingBool(settings, "waveBarsOverlay");
  shouldFill_ = settingBool(settings, "waveBarsFill");
  // Levels divide by the sensitivity: no range (or no number) reads as the default range.
  const float sensitivity = settingFloat(settings, "waveBarsSensitivity");
  sensitivity_ =
      sensitivity > 0.0f && std::isfinite(sensitivity) ? sensitivity : kDefaultSensitivity;
  colorByAmplitude_ = settingInteger(settings, "colourMethod") == 1 ? 1.0f : 0.0f;
  setFill();
  resetWaveformSublayers();
}

unsigned long WavePlotWaveBars::barsInUse() const {
  return std::clamp(barsPerPlot_, kMinBars, kMaxBars);
}

unsigned long WavePlotWaveBars::windowLength(unsigned long packets, unsigned long frames,
                                             unsigned long bars) {
  return (2 * packets * frames) / (bars + 1);
}

void WavePlotWaveBars::resetWaveformSublayers() {
  for (const auto& bar : waveformLayers_) bar->removeFromSuperlayer();
  if (gradientLayer_ != nullptr) gradientLayer_->removeFromSuperlayer();
  if (colorByAmplitude_ == 0.0f) {
    const std::size_t shown =
        std::min<std::size_t>(std::min<unsigned long>(numberBuffers_, kMaxChannels) * barsInUse(),
                              waveformLayers_.size());
    for (std::size_t i = 0; i < shown; ++i)
      layer()->insertSublayer(waveformLayers_[i], static_cast<unsigned>(i));
  } else if (gradientLayer_ != nullptr) {
    layer()->insertSublayer(gradientLayer_, 0);
    setupGradientMask();
  }
}

void WavePlotWaveBars::setupGradientMask() {
  if (gradientLayer_ == nullptr) return;
  gradientLayer_->setMask(maskLayer_);
  const CGColorRef red = UIColor::redColor()->CGColor();
  const CGColorRef yellow = UIColor::yellowColor()->CGColor();
  const CGColorRef green = UIColor::greenColor()->CGColor();
  // Green on each row's centre line, red where a bar of value 1 ends. Without channels (and
  // without overlay) the stops stay as they were.
  if (numberBuffers_ > 1 && !overlay_) {
    gradientLayer_->setColors({red, yellow, green, yellow, red, yellow, green, yellow, red});
    gradientLayer_->setLocations({0.0, 0.075, 0.25, 0.42, 0.5, 0.58, 0.75, 0.925, 1.0});
  } else if (numberBuffers_ == 1 || overlay_) {
    gradientLayer_->setColors({red, yellow, green, yellow, red});
    gradientLayer_->setLocations({0.25, 0.325, 0.5, 0.575, 0.75});
  }
}

void WavePlotWaveBars::setFill() {
  if (colorByAmplitude_ != 0.0f) return;
  UIColor* primary = primaryColor();
  const StrongRef<UIColor> fill =
      shouldFill_ && primary != nullptr ? primary->colorWithAlphaComponent(0.9) : nullptr;
  // Every layer, not only those in use: a row that a later record brings in shows the current
  // colour rather than whatever it held when it was last coloured.
  for (const auto& bar : waveformLayers_) {
    if (shouldFill_) {
      bar->setStrokeColor(nullptr);
      bar->setFillColor(CGColorOf(fill));
    } else {
      bar->setFillColor(nullptr);
      bar->setStrokeColor(CGColorOf(primary));
    }
  }
}

void WavePlotWaveBars::changePrimaryColor(UIColor* color) {
  WavePlot::changePrimaryColor(color);
  setFill();
}

void WavePlotWaveBars::changeBackgroundColor(UIColor* color) {
  WavePlot::changeBackgroundColor(color);
  layer()->setBackgroundColor(CGColorOf(color));
}

void WavePlotWaveBars::checkForAudioFormatChange(const serverDataStruct* record) {
  // No channels is a record without audio yet: it is taken (and shows nothing). A count this
  // plot cannot draw changes nothing.
  if (record == nullptr || record->numberBuffers < 0 ||
      record->numberBuffers > static_cast<std::int32_t>(kMaxChannels))
    return;
  const auto channels = static_cast<unsigned long>(record->numberBuffers);
  if (numberBuffers_ != channels) {
    numberBuffers_ = channels;
    resetWaveformSublayers();
  }
  numberFrames_ = recordFrames(record);
}

void WavePlotWaveBars::computeWindowSums(const float* source, unsigned long T, unsigned long L,
                                         unsigned long B) {
  float* levels = workData_.data();
  const float reference = 1.0f;
  const float q = 1.0f / sensitivity_;
  const float one = 1.0f;
  const float zero = 0.0f;
  // Block by block, so that the four passes over a block find it in the first-level cache.
  constexpr unsigned long kBlock = 2048;
  for (unsigned long start = 0; start < T; start += kBlock) {
    const unsigned long n = std::min(kBlock, T - start);
    float* block = levels + start;
    vDSP_vabs(source + start, 1, block, 1, n);
    vDSP_vdbcon(block, 1, &reference, block, 1, n, 1);
    vDSP_vsmsa(block, 1, &q, &one, block, 1, n);
    vDSP_vclip(block, 1, &zero, &one, block, 1, n);
  }
  // Only the windows that bars read: B sums of L levels rather than every sliding window.
  // (b × L) / 2 + L ≤ (B + 1) L / 2 ≤ T: every window is complete.
  for (unsigned long b = 0; b < B; ++b) vDSP_sve(levels + (b * L) / 2, 1, &barsData_[b], L);
}

void WavePlotWaveBars::updateDataAndDraw(const serverDataStruct* record) {
  checkForAudioFormatChange(record);
  if (record == nullptr || workData_.empty() || waveformLayers_.size() < kBarLayers) return;
  if (record->numberBuffers < 0 || record->numberBuffers > static_cast<std::int32_t>(kMaxChannels))
    return;

  const bool byAmplitude = colorByAmplitude_ != 0.0f;
  const unsigned long channels = std::min<unsigned long>(numberBuffers_, kMaxChannels);
  if (channels == 0) {
    // No audio yet: no bar layer is attached, and the gradient shows through nothing.
    if (byAmplitude) {
      CGMutablePathRef empty = CGPathCreateMutable();
      maskLayer_->setPath(empty);
      CGPathRelease(empty);
    }
    return;
  }

  const unsigned long B = barsInUse();
  const unsigned long P = std::clamp<unsigned long>(buffersPerPlot_, 1, kMaxBuffersPerPlot);
  const unsigned long F = std::min<unsigned long>(numberFrames_, kMaxFrames);
  const unsigned long L = windowLength(P, F, B);
  if (L < 1) return;
  const unsigned long T = P * F;

  const CGFloat w = 1.0 / static_cast<CGFloat>(B + 2);
  const CGFloat g = 2.0 * w / static_cast<CGFloat>(B - 1);
  const float gain = waveGain_;
  const float length = static_cast<float>(L);
  CGMutablePathRef mask = CGPathCreateMutable();

  for (unsigned long c = 0; c < channels; ++c) {
    computeWindowSums(newestPackets(record, static_cast<unsigned>(c), static_cast<unsigned>(P),
                                    static_cast<unsigned>(F)),
                      T, L, B);
    const float* sums = barsData_.data();
    const double f =
        channelCentreFraction(record->numberBuffers, overlay_, static_cast<unsigned>(c));
    for (unsigned long b = 0; b < B; ++b) {
      const std::size_t k = c * B + b;
      const float t = heldToUnit(gain * sums[b] / length);
      CGPoint* corners = displayPoints_.data() + 4 * k;
      const CGFloat h = (corners[0].y + t) / 2.0;
      const CGFloat x0 = static_cast<CGFloat>(b) * (w + g);
      corners[0] = CGPointMake(x0, h + 0.001);
      corners[1] = CGPointMake(x0 + w, h + 0.001);
      corners[2] = CGPointMake(x0 + w, -h - 0.001);
      corners[3] = CGPointMake(x0, -h - 0.001);

      CAShapeLayer* bar = waveformLayers_[k];
      const CGRect frame = bar->bounds();
      const CGAffineTransform transform = CGAffineTransformScale(
          CGAffineTransformMakeTranslation(0, frame.origin.y + f * frame.size.height),
          frame.size.width, -0.25 * frame.size.height);
      if (byAmplitude) {
        CGPathAddLines(mask, &transform, corners, 4);
        CGPathCloseSubpath(mask);
      } else {
        CGMutablePathRef path = CGPathCreateMutable();
        CGPathAddLines(path, &transform, corners, 4);
        CGPathCloseSubpath(path);
        bar->setPath(path);
        CGPathRelease(path);
      }
    }
  }

  if (byAmplitude) maskLayer_->setPath(mask);
  CGPathRelease(mask);
}

void WavePlotWaveBars::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "setupGradientMask",
      +[](id self, SEL) { static_cast<WavePlotWaveBars*>(self)->setupGradientMask(); });
  objc::addMethod(
      cls, "setFill", +[](id self, SEL) { static_cast<WavePlotWaveBars*>(self)->setFill(); });
}
