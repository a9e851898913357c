#include "Vellamor2/WavePlotWaveform.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Vellamor2/WavePlotRecord.h"
#include "Vellamor2/WavePlotSettings.h"
#include "objc/message.h"

namespace {

constexpr std::uint32_t kMaxBuffersPerPlot = 20;
// Beyond this the smoothing weight 5 × smudge would no longer be a finite float.
constexpr float kMaxSmudge = 1.0e6f;

// NaN reads as the lower end.
float heldWithin(float value, float low, float high) {
  if (!(value > low)) return low;
  return std::min(value, high);
}

}  // namespace

WavePlotWaveform::~WavePlotWaveform() {
  vDSP_destroy_fftsetup(fftSetup_);
}

void WavePlotWaveform::setup() {
  numberBuffers_ = 2;
  numberFrames_ = 4096;
  buffersPerPlot_ = 3;
  shouldFill_ = false;
  lineThinkness_ = 1.0f;
  waveGain_ = 1.0f;
  smudge_ = 0.0f;
  waveLPFAmount_ = 0.0f;
  stripPhase_ = false;
  lowPassFilter_ = false;
  overlay_ = false;
  colorByAmplitude_ = 0.0f;

  for (const auto& layer : waveformLayers_) layer->removeFromSuperlayer();
  waveformLayers_.clear();
  for (unsigned channel = 0; channel < kMaxChannels; ++channel) {
    StrongRef<CAShapeLayer> layer = CAShapeLayer::layer();
    layer->setFrame(bounds());
    layer->setLineWidth(lineThinkness_);
    layer->setLineJoin(kCALineJoinRound);
    layer->setFillColor(nullptr);
    layer->setOpacity(1.0f);
    layer->setBackgroundColor(nullptr);
    layer->setStrokeColor(nullptr);
    waveformLayers_.push_back(layer);
  }

  WavePlot::setup();
  resetWaveformSublayers();

  // Made once for the largest input; a frame only reuses them.
  displayPoints_.assign(kDisplayPoints, CGPoint{});
  splitReal_.assign(kSplitLength, 0.0f);
  splitImaginary_.assign(kSplitLength, 0.0f);
  tempSplitComplex_ = {splitReal_.data(), splitImaginary_.data()};
  zeroReal_ = 0.0f;
  zeroImaginary_ = 0.0f;
  workData_.assign(kWorkLength, 0.0f);
  if (fftSetup_ == nullptr) fftSetup_ = vDSP_create_fftsetup(kFFTLog2Size, kFFTRadix2);
}

void WavePlotWaveform::updateSettings(NSDictionary* settings) {
  WavePlot::updateSettings(settings);
  buffersPerPlot_ = static_cast<std::uint32_t>(std::clamp<long>(
      settingInteger(settings, "waveBuffersPerPlot"), 1, static_cast<long>(kMaxBuffersPerPlot)));
  lineThinkness_ = settingFloat(settings, "waveThickness");
  waveGain_ = settingFloat(settings, "waveGain");
  stripPhase_ = settingBool(settings, "waveStripPhase");
  lowPassFilter_ = settingBool(settings, "waveLowPassFilter");
  smudge_ = std::isnan(settingFloat(settings, "waveSmudge"))
                ? 0.0f
                : std::min(settingFloat(settings, "waveSmudge"), kMaxSmudge);
  overlay_ = settingBool(settings, "waveOverlay");
  shouldFill_ = settingBool(settings, "waveFill");
  waveLPFAmount_ = heldWithin(settingFloat(settings, "waveLPFAmount"), 0.0f, 1.0f);
  colorByAmplitude_ = settingInteger(settings, "colourMethod") == 1 ? 1.0f : 0.0f;
  setFill();
  resetWaveformSublayers();
}

void WavePlotWaveform::resetWaveformSublayers() {
  for (const auto& layer : waveformLayers_) layer->removeFromSuperlayer();
  const std::size_t shown = std::min<std::size_t>(numberBuffers_, waveformLayers_.size());
  for (std::size_t channel = 0; channel < shown; ++channel) {
    waveformLayers_[channel]->setLineWidth(lineThinkness_);
    layer()->insertSublayer(waveformLayers_[channel], static_cast<unsigned>(channel));
  }
}

void WavePlotWaveform::colorLayers(UIColor* color) {
  const std::size_t shown = std::min<std::size_t>(numberBuffers_, waveformLayers_.size());
  for (std::size_t channel = 0; channel < shown; ++channel) {
    CAShapeLayer* layer = waveformLayers_[channel];
    if (shouldFill_) {
      layer->setStrokeColor(nullptr);
      const StrongRef<UIColor> fill =
          color != nullptr ? color->colorWithAlphaComponent(0.4) : nullptr;
      layer->setFillColor(CGColorOf(fill));
    } else {
      layer->setFillColor(nullptr);
      layer->setStrokeColor(CGColorOf(color));
    }
  }
}

void WavePlotWaveform::setFill() {
  if (colorByAmplitude_ != 0.0f) return;
  colorLayers(primaryColor());
}

void WavePlotWaveform::setFilltoAmp(float amplitude) {
  amplitudeColor_ = amplitudeColorFor(amplitude);
  colorLayers(amplitudeColor_);
}

void WavePlotWaveform::changePrimaryColor(UIColor* color) {
  WavePlot::changePrimaryColor(color);
  setFill();
}

void WavePlotWaveform::changeBackgroundColor(UIColor* color) {
  WavePlot::changeBackgroundColor(color);
  layer()->setBackgroundColor(CGColorOf(color));
}

void WavePlotWaveform::checkForAudioFormatChange(const serverDataStruct* record) {
  adoptAudioFormat(record, numberBuffers_, numberFrames_);
}

void WavePlotWaveform::filterBlock(unsigned n, unsigned L, vDSP_Length log2L, unsigned cut,
                                   float scale) {
  float* work = workData_.data();
  const unsigned pairs = L / 2;
  // The block zero-extended to L: the split arrays beyond n/2 pairs stay zero.
  vDSP_ctoz(reinterpret_cast<const DSPComplex*>(work), 2, &tempSplitComplex_, 1, n / 2);
  vDSP_fft_zrip(fftSetup_, &tempSplitComplex_, 1, log2L, kFFTDirection_Forward);
  if (stripPhase_) {
    // Every pair becomes its magnitude with no imaginary part; pair 0 holds DC and Nyquist taken
    // together.
    std::memset(work, 0, sizeof(float) * L);
    vDSP_zvabs(&tempSplitComplex_, 1, work, 2, pairs);
    vDSP_ctoz(reinterpret_cast<const DSPComplex*>(work), 2, &tempSplitComplex_, 1, pairs);
  }
  if (lowPassFilter_) {
    const unsigned first = std::min(cut, pairs);
    const DSPSplitComplex above{tempSplitComplex_.realp + first, tempSplitComplex_.imagp + first};
    vDSP_zvfill(&tempSplitComplexZero_, &above, 1, pairs - first);
  }
  vDSP_fft_zrip(fftSetup_, &tempSplitComplex_, 1, log2L, kFFTDirection_Inverse);
  vDSP_ztoc(&tempSplitComplex_, 1, reinterpret_cast<DSPComplex*>(work), 2, pairs);
  vDSP_vsmul(work, 1, &scale, work, 1, L);
}

void WavePlotWaveform::updateDataAndDraw(const serverDataStruct* record) {
  checkForAudioFormatChange(record);
  // Nothing to draw from (or before setup): the layers keep what they show.
  if (!recordIsDrawable(record) || workData_.empty() || waveformLayers_.size() < kMaxChannels)
    return;

  const unsigned F = std::min(numberFrames_, kMaxFrames);
  if (F == 0) return;
  // Held so that the block fits the buffers: at most 65,536 samples.
  const unsigned k =
      std::min(std::clamp<std::uint32_t>(buffersPerPlot_, 1, kMaxBuffersPerPlot), kMaxBlock / F);
  const unsigned n = k * F;
  const double exponent = std::ceil(std::log2(static_cast<double>(n)));
  const unsigned L = static_cast<unsigned>(std::pow(2.0, exponent));
  const vDSP_Length log2L = static_cast<vDSP_Length>(exponent);
  const float scale = 1.0f / static_cast<float>(L);
  const unsigned offset = stripPhase_ ? (L - n) / 2 : 0;
  const unsigned channels = std::min<unsigned>(numberBuffers_, kMaxChannels);
  // The low-pass cut in pairs: waveLPFAmount × k × F / 2 in single precision, truncated.
  float cutValue = heldWithin(waveLPFAmount_, 0.0f, 1.0f) * static_cast<float>(k);
  cutValue = cutValue * static_cast<float>(F);
  cutValue = cutValue / 2.0f;
  const unsigned cut = static_cast<unsigned>(cutValue);
  float* work = workData_.data();

  for (unsigned channel = 0; channel < channels; ++channel) {
    const float* source = newestPackets(record, channel, k, F);
    std::memset(work, 0, sizeof(float) * L);
    std::memset(tempSplitComplex_.realp, 0, sizeof(float) * (L / 2));
    std::memset(tempSplitComplex_.imagp, 0, sizeof(float) * (L / 2));
    std::memcpy(work, source, sizeof(float) * n);

    if (stripPhase_ || lowPassFilter_) filterBlock(n, L, log2L, cut, scale);

    CGPoint* points = displayPoints_.data() + static_cast<std::size_t>(channel) * F;
    const bool smoothing = static_cast<double>(smudge_) > 0.05;
    const float weight = 5.0f * smudge_;
    for (unsigned i = 0; i < F; ++i) {
      points[i].x = i;
      float v = waveGain_ * work[i * k + offset];
      if (!(v < 1.0f)) v = 1.0f;  // NaN too
      if (v < -1.0f) v = -1.0f;
      points[i].y = smoothing ? (points[i].y * weight + v) / (weight + 1.0f) : v;
    }
    if (stripPhase_ && F >= 2) {
      // The ends of a phase-stripped block swing wildly; they follow their neighbours.
      points[0].y = points[1].y;
      points[F - 1].y = points[F - 2].y;
    }
  }

  if (colorByAmplitude_ != 0.0f) {
    float maximum = 0.0f;
    vDSP_maxv(work, 1, &maximum, L);
    setFilltoAmp(maximum);
  }

  for (unsigned channel = 0; channel < channels; ++channel)
    buildPath(channel, record->numberBuffers);
}

void WavePlotWaveform::buildPath(unsigned channel, int recordChannelCount) {
  CAShapeLayer* shape = waveformLayers_[channel];
  const unsigned F = numberFrames_;
  const CGRect bounds = shape->bounds();
  const double f = channelCentreFraction(recordChannelCount, overlay_, channel);
  const CGAffineTransform transform = CGAffineTransformScale(
      CGAffineTransformMakeTranslation(0, bounds.origin.y + f * bounds.size.height),
      bounds.size.width / F, -0.25 * bounds.size.height);

  CGPoint* points = displayPoints_.data() + static_cast<std::size_t>(channel) * F;
  std::size_t count = F;
  CGPoint borrowed[2];
  if (shouldFill_) {
    // The first two points of the next channel (or the spare ones) close the shape along the
    // bottom edge: y = −4 (1 − f) lands on y0 + H.
    borrowed[0] = points[F];
    borrowed[1] = points[F + 1];
    const double bottom = -4.0 * (1.0 - f);
    points[F] = CGPointMake(F, bottom);
    points[F + 1] = CGPointMake(0, bottom);
    count = F + 2;
  }
  CGMutablePathRef path = CGPathCreateMutable();
  CGPathAddLines(path, &transform, points, count);
  if (shouldFill_) {
    CGPathCloseSubpath(path);
    points[F] = borrowed[0];
    points[F + 1] = borrowed[1];
  }
  shape->setPath(path);
  CGPathRelease(path);
}

void WavePlotWaveform::registerMethods_(Class cls) {
  objc::addMethod(
      cls, "setFill", +[](id self, SEL) { static_cast<WavePlotWaveform*>(self)->setFill(); });
  objc::addMethod(
      cls, "setFilltoAmp:", +[](id self, SEL, float amplitude) {
        static_cast<WavePlotWaveform*>(self)->setFilltoAmp(amplitude);
      });
}
