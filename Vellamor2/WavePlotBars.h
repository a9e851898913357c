#pragma once
// WavePlotBars: the spectrum plot. Each channel's newest audio goes through a Hamming window and
// a real FFT; the magnitudes become 0-to-1 levels on a decibel scale, are gathered into bands on
// a cubic frequency scale and drawn as one rectangle per band, a row of bars per channel (the
// channels never mix). Bars can be mirrored left/right around the middle (lowest band in the
// centre), stand symmetric about a centre line or on the bottom edge, and are coloured with the
// primary colour or through a fixed red-yellow-green gradient cut out by the union of the bars.
//
// Limits, held rather than trusted (the buffers are sized for them):
//  - `barsPerPlot` is held within 2 … 256 by the settings, and a frame draws at most
//    256 / channels bars per channel (128 with two channels): 256 layers of four corners each;
//  - `buffersPerPlot` is held within 1 … 20 (the history holds 20 packets), so a block is at
//    most 20 × 4096 = 81,920 samples;
//  - a `sensitivity` that is not a positive finite number reads as the default 25 dB, and a
//    gain that is not finite as the default 0.9;
//  - a record's frame count above 4096 is read as 4096; a record with a channel count other than
//    0, 1 or 2, or one whose block holds fewer than 2 samples, draws nothing: the layers keep
//    what they showed. A record with no channels (no audio yet) shows nothing;
//  - samples that are not finite give full bars, never a coordinate that is not a number.

#include <Accelerate/Accelerate.h>
#include <QuartzCore/QuartzCore.h>

#include <cstdint>
#include <vector>

#include "Vellamor2/WavePlot.h"

class WavePlotBars : public WavePlot {
  OBJC_NATIVE_CLASS(WavePlotBars, WavePlot)
 public:
  static constexpr std::size_t kBarLayers = 256;
  static constexpr std::size_t kDisplayPoints = 4 * kBarLayers;
  static constexpr std::size_t kSplitLength = 40960;
  static constexpr std::size_t kHammLength = 81920;
  static constexpr std::size_t kWorkLength = 524288;
  static constexpr vDSP_Length kFFTLog2Size = 16;  // ⌊log2 81,920⌋
  static constexpr std::uint32_t kMinBars = 2;
  static constexpr std::uint32_t kMaxBuffersPerPlot = 20;
  static constexpr float kDefaultSensitivity = 25.0f;
  static constexpr float kDefaultGain = 0.9f;

  // Where the bands of a block of n samples lie among the n/2 levels, before the warp.
  struct BandLayout {
    unsigned half = 0;  // n / 2
    unsigned lo = 0;    // 0.1 × half, rounded
    unsigned hi = 0;    // 0.9 × half, rounded
    unsigned per = 0;   // (hi − lo) / B
  };
  // The levels that one bar sums: entries start … end − 1.
  struct Band {
    unsigned start = 0;
    unsigned end = 0;
  };
  static BandLayout bandLayout(unsigned n, unsigned bars);
  // Bar j of `bars`: with `mirrorX` the lowest band sits at the centre bar and the bands rise
  // toward both edges; without it they rise from left to right in half steps. The cubic warp
  // spreads the low bands thin; a band whose warped ends coincide takes one entry.
  static Band band(const BandLayout& layout, unsigned bars, unsigned j, bool mirrorX);

  WavePlotBars() = default;
  ~WavePlotBars() override;

  // ---- WavePlot ----
  void setup() override;
  void updateSettings(NSDictionary* settings) override;
  void updateDataAndDraw(const serverDataStruct* record) override;
  void changePrimaryColor(UIColor* color) override;
  void changeBackgroundColor(UIColor* color) override;
  void checkForAudioFormatChange(const serverDataStruct* record) override;
  void resetWaveformSublayers() override;

  // The gradient's mask and its stops for the channel count, `overlay` and `zeroY`.
  void setupGradientMask();
  // Bar layer i filled (colour at alpha 0.9, no stroke) or outlined (no fill).
  void setBarColor(int bar, bool fill, UIColor* color);
  // Every bar layer in the primary colour (nothing while colouring by amplitude).
  void setBarColors();

  // Bars per channel that a frame draws: `barsPerPlot` within 2 … 256 / channels.
  unsigned barsInUse() const;

  // ---- Properties ----
  const std::vector<StrongRef<CAShapeLayer>>& waveformLayers() const { return waveformLayers_; }
  CAGradientLayer* gradientLayer() const { return gradientLayer_.get(); }
  CAShapeLayer* maskLayer() const { return maskLayer_.get(); }
  CGPoint* displayPoints() const { return displayPoints_.empty() ? nullptr : pointsData(); }
  FFTSetup fftSetup() const { return fftSetup_; }
  const DSPSplitComplex* tempSplitComplex() const { return &tempSplitComplex_; }
  float* hammArray() const { return hammArray_.empty() ? nullptr : floats(hammArray_); }
  float* workData() const { return workData_.empty() ? nullptr : floats(workData_); }

  std::uint32_t numberFrames() const { return numberFrames_; }
  void setNumberFrames(std::uint32_t frames) { numberFrames_ = frames; }
  std::uint32_t numberBuffers() const { return numberBuffers_; }
  void setNumberBuffers(std::uint32_t buffers) { numberBuffers_ = buffers; }
  std::uint32_t buffersPerPlot() const { return buffersPerPlot_; }
  void setBuffersPerPlot(std::uint32_t packets) { buffersPerPlot_ = packets; }
  std::uint32_t barsPerPlot() const { return barsPerPlot_; }
  void setBarsPerPlot(std::uint32_t bars) { barsPerPlot_ = bars; }
  bool zeroY() const { return zeroY_; }
  void setZeroY(bool zeroY) { zeroY_ = zeroY; }
  bool mirrorX() const { return mirrorX_; }
  void setMirrorX(bool mirror) { mirrorX_ = mirror; }
  bool mirrorY() const { return mirrorY_; }
  void setMirrorY(bool mirror) { mirrorY_ = mirror; }
  bool shouldFill() const { return shouldFill_; }
  void setShouldFill(bool fill) { shouldFill_ = fill; }
  float waveGain() const { return waveGain_; }
  void setWaveGain(float gain) { waveGain_ = gain; }
  bool overlay() const { return overlay_; }
  void setOverlay(bool overlay) { overlay_ = overlay; }
  float sensitivity() const { return sensitivity_; }
  void setSensitivity(float sensitivity) { sensitivity_ = sensitivity; }
  float colorByAmplitude() const { return colorByAmplitude_; }
  void setColorByAmplitude(float value) { colorByAmplitude_ = value; }

  static void registerMethods_(Class cls);

 private:
  CGPoint* pointsData() const { return const_cast<CGPoint*>(displayPoints_.data()); }
  static float* floats(const std::vector<float>& buffer) {
    return const_cast<float*>(buffer.data());
  }
  // The n/2 levels of one channel's block in workData.
  void computeLevels(const float* source, unsigned n);
  // Fetch the first `count` bar layers, or the paths they hold, towards the cache.
  void prefetchBarLayers(unsigned count) const;
  void prefetchHeldPaths(unsigned count) const;
  // The band of every bar in use, worked out again only when the block length, the bar count
  // or the mirroring changed since the last frame.
  const Band* bandsFor(unsigned n, unsigned bars);

  std::vector<StrongRef<CAShapeLayer>> waveformLayers_;
  StrongRef<CAGradientLayer> gradientLayer_;
  StrongRef<CAShapeLayer> maskLayer_;
  std::vector<CGPoint> displayPoints_;
  FFTSetup fftSetup_ = nullptr;
  std::vector<float> splitReal_;
  std::vector<float> splitImaginary_;
  DSPSplitComplex tempSplitComplex_{nullptr, nullptr};
  std::vector<float> hammArray_;
  std::vector<float> workData_;
  // The Hamming window of the last block length, kept so a frame only multiplies by it.
  std::vector<float> window_;
  unsigned windowLength_ = 0;
  std::vector<Band> bands_;
  unsigned bandsBlockLength_ = 0;
  unsigned bandsBars_ = 0;
  bool bandsMirrorX_ = false;

  std::uint32_t numberFrames_ = 0;
  std::uint32_t numberBuffers_ = 0;
  std::uint32_t buffersPerPlot_ = 0;
  std::uint32_t barsPerPlot_ = 0;
  bool zeroY_ = false;
  bool mirrorX_ = false;
  bool mirrorY_ = false;
  bool shouldFill_ = false;
  float waveGain_ = 0.0f;
  bool overlay_ = false;
  float sensitivity_ = 0.0f;
  float colorByAmplitude_ = 0.0f;
};
