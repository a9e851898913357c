#include "Vellamor2/WavePlotBars.h"

#include <algorithm>
#include <cmath>

#include "Vellamor2/WavePlotRecord.h"
#include "Vellamor2/WavePlotSettings.h"
#include "objc/message.h"

namespace {

unsigned roundedHalfAway(double value) {
  return static_cast<unsigned>(std::round(value));
}

}  // namespace

WavePlotBars::~WavePlotBars() {
  vDSP_destroy_fftsetup(fftSetup_);
}

// ---- Band layout ----

WavePlotBars::BandLayout WavePlotBars::bandLayout(unsigned n, unsigned bars) {
  BandLayout layout;
  layout.half = static_cast<unsigned>(static_cast<float>(n) / 2.0f);
  layout.lo = roundedHalfAway(0.1 * layout.half);
  layout.hi = roundedHalfAway(0.9 * layout.half);
  layout.per = bars != 0 ? (layout.hi - layout.lo) / bars : 0;
  return layout;
}

WavePlotBars::Band WavePlotBars::band(const BandLayout& layout, unsigned bars, unsigned j,
                                      bool mirrorX) {
  if (layout.half == 0) return {};
  unsigned a = 0;
  unsigned b = 0;
  if (mirrorX) {
    const auto mj =
        static_cast<unsigned>(std::fabs(static_cast<float>(j) - static_cast<float>(bars) / 2.0f));
    a = layout.lo + layout.per * mj;
    b = layout.lo + layout.per * (mj + 1);
  } else {
    a = layout.per * j / 2 + layout.lo;
    b = layout.per * (j + 1) / 2 + layout.lo;
  }
  const double half = layout.half;
  const double halfCubed = half * half * half;
  const auto warp = [&](unsigned x) {
    const double cube = static_cast<double>(x) * x * x;
    return roundedHalfAway(half * cube / halfCubed);
  };
  Band result{warp(a), warp(b)};
  if (result.end == result.start) result.end = result.start + 1;
  // The warp keeps every band below 0.9³ of the levels; held there all the same.
  result.end = std::min(result.end, layout.half);
  result.start = std::min(result.start, result.end - 1);
  return result;
}

// ---- Building ----

void WavePlotBars::setup() {
  numberFrames_ = 4096;
  numberBuffers_ = 2;
  buffersPerPlot_ = 20;
  barsPerPlot_ = 128;
  zeroY_ = true;
  mirrorX_ = true;
  mirrorY_ = true;
  shouldFill_ = false;
  waveGain_ = 1.0f;
  overlay_ = false;
  sensitivity_ = 30.0f;
  colorByAmplitude_ = 1.0f;

  for (const auto& bar : waveformLayers_) bar->removeFromSuperlayer();
  waveformLayers_.clear();
  for (std::size_t i = 0; i < kBarLayers; ++i) {
    StrongRef<CAShapeLayer> bar = CAShapeLayer::layer();
    bar->setFrame(bounds());
    bar->setLineWidth(1.0);
    bar->setOpacity(1.0f);
    bar->setFillColor(nullptr);
    bar->setBackgroundColor(nullptr);
    bar->setStrokeColor(nullptr);
    waveformLayers_.push_back(bar);
  }
  if (gradientLayer_ != nullptr) gradientLayer_->removeFromSuperlayer();
  gradientLayer_ = CAGradientLayer::layer();
  gradientLayer_->setFrame(bounds());
  maskLayer_ = CAShapeLayer::layer();
  maskLayer_->setFrame(bounds());

  WavePlot::setup();
  resetWaveformSublayers();

  // Made once for the largest input; a frame only reuses them.
  displayPoints_.assign(kDisplayPoints, CGPoint{});
  splitReal_.assign(kSplitLength, 0.0f);
  splitImaginary_.assign(kSplitLength, 0.0f);
  tempSplitComplex_ = {splitReal_.data(), splitImaginary_.data()};
  hammArray_.assign(kHammLength, 0.0f);
  workData_.assign(kWorkLength, 0.0f);
  window_.assign(kHammLength, 0.0f);
  windowLength_ = 0;
  bands_.assign(kBarLayers, Band{});
  bandsBlockLength_ = 0;
  if (fftSetup_ == nullptr) fftSetup_ = vDSP_create_fftsetup(kFFTLog2Size, kFFTRadix2);
}

void WavePlotBars::updateSettings(NSDictionary* settings) {
  WavePlot::updateSettings(settings);
  barsPerPlot_ = static_cast<std::uint32_t>(std::clamp<long>(
      settingInteger(settings, "barsNumber"), kMinBars, static_cast<long>(kBarLayers)));
  buffersPerPlot_ = static_cast<std::uint32_t>(std::clamp<long>(
      settingInteger(settings, "barsBuffersPerPlot"), 1, static_cast<long>(kMaxBuffersPerPlot)));
  const float gain = settingFloat(settings, "barsGain");
  waveGain_ = std::isfinite(gain) ? gain : kDefaultGain;
  // Levels divide by the sensitivity: no range (or no number) reads as the default range.
  const float sensitivity = settingFloat(settings, "barsSensitivity");
  sensitivity_ =
      sensitivity > 0.0f && std::isfinite(sensitivity) ? sensitivity : kDefaultSensitivity;
  overlay_ = settingBool(settings, "barsOverlay");
  shouldFill_ = settingBool(settings, "barsFill");
  mirrorX_ = settingBool(settings, "barsMirrorX");
  mirrorY_ = settingBool(settings, "barsMirrorY");
  zeroY_ = settingBool(settings, "barsZeroY");
  colorByAmplitude_ = settingInteger(settings, "colourMethod") == 1 ? 1.0f : 0.0f;
  setBarColors();
  resetWaveformSublayers();
}

unsigned WavePlotBars::barsInUse() const {
  const unsigned channels = std::clamp<std::uint32_t>(numberBuffers_, 1, kMaxChannels);
  return std::clamp<unsigned>(barsPerPlot_, kMinBars, kBarLayers / channels);
}

void WavePlotBars::resetWaveformSublayers() {
  for (const auto& bar : waveformLayers_) bar->removeFromSuperlayer();
  if (gradientLayer_ != nullptr) gradientLayer_->removeFromSuperlayer();
  if (colorByAmplitude_ == 0.0f) {
    const std::size_t shown =
        std::min<std::size_t>(std::min<std::uint32_t>(numberBuffers_, kMaxChannels) * barsInUse(),
                              waveformLayers_.size());
    for (std::size_t i = 0; i < shown; ++i)
      layer()->insertSublayer(waveformLayers_[i], static_cast<unsigned>(i));
  } else if (gradientLayer_ != nullptr) {
    layer()->insertSublayer(gradientLayer_, 0);
    setupGradientMask();
  }
}

void WavePlotBars::setupGradientMask() {
  if (gradientLayer_ == nullptr) return;
  gradientLayer_->setMask(maskLayer_);
  const CGColorRef red = UIColor::redColor()->CGColor();
  const CGColorRef yellow = UIColor::yellowColor()->CGColor();
  const CGColorRef green = UIColor::greenColor()->CGColor();
  // Green on each centre line (or the bottom edge), red where a full bar ends. A later match
  // replaces an earlier one, so standing bars win over overlay.
  if (numberBuffers_ > 1 && !zeroY_ && !overlay_) {
    gradientLayer_->setColors({red, yellow, green, yellow, red, yellow, green, yellow, red});
    gradientLayer_->setLocations({0.0, 0.075, 0.25, 0.42, 0.5, 0.58, 0.75, 0.925, 1.0});
  }
  if (numberBuffers_ == 1 && !zeroY_ && !overlay_) {
    gradientLayer_->setColors({red, yellow, green, yellow, red});
    gradientLayer_->setLocations({0.25, 0.325, 0.5, 0.575, 0.75});
  }
  if (overlay_) {
    gradientLayer_->setColors({red, yellow, green, yellow, red});
    gradientLayer_->setLocations({0.25, 0.325, 0.5, 0.575, 0.75});
  }
  if (zeroY_) {
    gradientLayer_->setColors({red, yellow, green});
    gradientLayer_->setLocations({0.25, 0.475, 1.0});
  }
}

void WavePlotBars::setBarColor(int bar, bool fill, UIColor* color) {
  if (bar < 0 || static_cast<std::size_t>(bar) >= waveformLayers_.size()) return;
  CAShapeLayer* shape = waveformLayers_[static_cast<std::size_t>(bar)];
  if (fill) {
    shape->setStrokeColor(nullptr);
    const StrongRef<UIColor> fillColor =
        color != nullptr ? color->colorWithAlphaComponent(0.9) : nullptr;
    shape->setFillColor(CGColorOf(fillColor));
  } else {
    shape->setFillColor(nullptr);
    shape->setStrokeColor(CGColorOf(color));
  }
}

void WavePlotBars::setBarColors() {
  if (colorByAmplitude_ != 0.0f) return;
  // Every layer, not only those in use: a row that a later record brings in shows the current
  // colour rather than whatever it held when it was last coloured.
  for (std::size_t i = 0; i < waveformLayers_.size(); ++i)
    setBarColor(static_cast<int>(i), shouldFill_, primaryColor());
}

void WavePlotBars::changePrimaryColor(UIColor* color) {
  WavePlot::changePrimaryColor(color);
  setBarColors();
}

void WavePlotBars::changeBackgroundColor(UIColor* color) {
  WavePlot::changeBackgroundColor(color);
  layer()->setBackgroundColor(CGColorOf(color));
}

void WavePlotBars::checkForAudioFormatChange(const serverDataStruct* record) {
  // No channels is a record without audio yet: it is taken (and shows nothing). A count this
  // plot cannot draw changes nothing.
  if (record == nullptr || record->numberBuffers < 0 ||
      record->numberBuffers > static_cast<std::int32_t>(kMaxChannels))
    return;
  const auto channels = static_cast<std::uint32_t>(record->numberBuffers);
  if (numberBuffers_ != channels) {
    numberBuffers_ = channels;
    resetWaveformSublayers();
  }
  numberFrames_ = recordFrames(record);
}

// ---- Drawing ----

void WavePlotBars::computeLevels(const float* source, unsigned n) {
  float* windowed = hammArray_.data();
  float* levels = workData_.data();
  if (windowLength_ != n) {
    vDSP_hamm_window(window_.data(), n, 0);
    windowLength_ = n;
  }
  vDSP_vmul(window_.data(), 1, source, 1, windowed, 1, n);

  const unsigned pairs = n / 2;
  vDSP_ctoz(reinterpret_cast<const DSPComplex*>(windowed), 2, &tempSplitComplex_, 1, pairs);
  // Over the first 2^⌊log2 n⌋ samples; the pairs beyond keep the packed windowed samples.
  const auto log2n = static_cast<vDSP_Length>(std::floor(std::log2(static_cast<double>(n))));
  vDSP_fft_zrip(fftSetup_, &tempSplitComplex_, 1, log2n, kFFTDirection_Forward);
  vDSP_zvabs(&tempSplitComplex_, 1, levels, 1, pairs);

  // Single precision throughout: m = 1 / (n / 10) divides as floats.
  const float m = 1.0f / (static_cast<float>(n) / 10.0f);
  const float q = 1.0f / sensitivity_;
  const float reference = 1.0f;
  const float one = 1.0f;
  const float zero = 0.0f;
  vDSP_vsmul(levels, 1, &m, levels, 1, pairs);
  vDSP_vdbcon(levels, 1, &reference, levels, 1, pairs, 1);
  vDSP_vsmsa(levels, 1, &q, &one, levels, 1, pairs);
  vDSP_vclip(levels, 1, &zero, &one, levels, 1, pairs);
}

void WavePlotBars::prefetchBarLayers(unsigned count) const {
  constexpr std::size_t kLine = 64;
  for (unsigned i = 0; i < count; ++i) {
    const auto* bytes = reinterpret_cast<const char*>(waveformLayers_[i].get());
    for (std::size_t offset = 0; offset < sizeof(CAShapeLayer); offset += kLine)
      __builtin_prefetch(bytes + offset, 1, 2);
  }
}

void WavePlotBars::prefetchHeldPaths(unsigned count) const {
  for (unsigned i = 0; i < count; ++i) {
    if (CGPathRef held = waveformLayers_[i]->path()) __builtin_prefetch(held, 1, 2);
  }
}

const WavePlotBars::Band* WavePlotBars::bandsFor(unsigned n, unsigned bars) {
  if (n != bandsBlockLength_ || bars != bandsBars_ || mirrorX_ != bandsMirrorX_) {
    const BandLayout layout = bandLayout(n, bars);
    for (unsigned j = 0; j < bars; ++j) bands_[j] = band(layout, bars, j, mirrorX_);
    bandsBlockLength_ = n;
    bandsBars_ = bars;
    bandsMirrorX_ = mirrorX_;
  }
  return bands_.data();
}

void WavePlotBars::updateDataAndDraw(const serverDataStruct* record) {
  checkForAudioFormatChange(record);
  if (record == nullptr || workData_.empty() || waveformLayers_.size() < kBarLayers) return;
  if (record->numberBuffers < 0 || record->numberBuffers > static_cast<std::int32_t>(kMaxChannels))
    return;

  const unsigned channels = std::min<std::uint32_t>(numberBuffers_, kMaxChannels);
  const unsigned B = barsInUse();
  const unsigned F = std::min<std::uint32_t>(numberFrames_, kMaxFrames);
  const unsigned k = std::clamp<std::uint32_t>(buffersPerPlot_, 1, kMaxBuffersPerPlot);
  const unsigned n = k * F;
  // Fewer than 2 samples have no spectrum: the layers keep what they show.
  if (channels > 0 && n < 2) return;

  const float w = 1.0f / static_cast<float>(B + 2);
  const float g = 2.0f * w / static_cast<float>(B - 1);
  // A frame's interval later the bar layers and the paths they hold are cold: fetched early, they
  // arrive while the spectrum is worked out, rather than one miss after another as each bar is
  // set; the held paths once their layers have arrived. The mask is one layer.
  const bool barPaths = colorByAmplitude_ == 0.0f;
  if (barPaths) {
    prefetchBarLayers(channels * B);
    prefetchHeldPaths(channels * B);
  }
  const Band* bands = bandsFor(n, B);
  const float gain = waveGain_;
  CGMutablePathRef mask = CGPathCreateMutable();

  for (unsigned c = 0; c < channels; ++c) {
    computeLevels(newestPackets(record, c, k, F), n);
    const float* levels = workData_.data();
    // The channel's line and height fractions, the same for each of its bars.
    const double f = zeroY_ ? 1.0 : channelCentreFraction(record->numberBuffers, overlay_, c);
    const double h = zeroY_ ? 0.75 : 0.25;
    for (unsigned j = 0; j < B; ++j) {
      const Band range = bands[j];
      float sum = 0.0f;
      vDSP_sve(levels + range.start, 1, &sum, range.end - range.start);
      const float v = heldToUnit(gain * sum);

      CGPoint* corners = displayPoints_.data() + static_cast<std::size_t>(c * B + j) * 4;
      const float s = (v + static_cast<float>(corners[0].y)) / 2.0f;
      const float left = static_cast<float>(j) * (w + g);
      const float right = left + w;
      const float top = static_cast<float>(static_cast<double>(s) + 0.001);
      const float bottom = mirrorY_ && !zeroY_ ? static_cast<float>(-static_cast<double>(s) - 0.001)
                                               : static_cast<float>(-0.001);
      corners[0] = CGPointMake(left, top);
      corners[1] = CGPointMake(right, top);
      corners[2] = CGPointMake(right, bottom);
      corners[3] = CGPointMake(left, bottom);

      CAShapeLayer* bar = waveformLayers_[c * B + j];
      const CGRect frame = bar->bounds();
      const CGAffineTransform transform = CGAffineTransformScale(
          CGAffineTransformMakeTranslation(0, frame.origin.y + f * frame.size.height),
          frame.size.width, -(h * frame.size.height));
      if (colorByAmplitude_ == 0.0f) {
        CGMutablePathRef path = CGPathCreateMutable();
        CGPathAddLines(path, &transform, corners, 4);
        CGPathCloseSubpath(path);
        bar->setPath(path);
        CGPathRelease(path);
      } else {
        CGPathAddLines(mask, &transform, corners, 4);
        CGPathCloseSubpath(mask);
      }
    }
  }

  if (colorByAmplitude_ != 0.0f) maskLayer_->setPath(mask);
  CGPathRelease(mask);
}

void WavePlotBars::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "setupGradientMask",
      +[](id self, SEL) { static_cast<WavePlotBars*>(self)->setupGradientMask(); });
  objc::addMethod(
      cls, "setBarColor:fill:color:", +[](id self, SEL, int bar, bool fill, id color) {
        static_cast<WavePlotBars*>(self)->setBarColor(bar, fill, objc::cast<UIColor>(color));
      });
  objc::addMethod(
      cls, "setBarColors", +[](id self, SEL) { static_cast<WavePlotBars*>(self)->setBarColors(); });
}
