#pragma once
// WavePlotWaveform: the default plot. The newest audio of each channel drawn as a line (or a
// filled shape) across the view, one shape layer per channel, never mixing channels. Before it
// is drawn a block can go through a spectral low-pass and a phase-stripping transform (a real
// FFT of the block zero-extended to a power of two), the curve can be smoothed from frame to
// frame (smudge), and it is coloured with the primary colour or by loudness.
//
// Limits, held rather than trusted (the buffers are sized for them):
//  - `buffersPerPlot` is held within 1 … 20 by the settings, and each frame draws at most as
//    many packets as keep the block within 65,536 samples (16 packets of 4096 frames);
//  - a record's frame count above 4096 is read as 4096;
//  - a record with a channel count other than 1 or 2, or without frames, draws nothing: the
//    layers keep what they showed and no coordinate is ever computed from it;
//  - `waveLPFAmount` is held within 0 … 1, and `smudge` within 0 … 10^6 (so the smoothing
//    weight stays finite).

#include <Accelerate/Accelerate.h>
#include <QuartzCore/QuartzCore.h>

#include <cstdint>
#include <vector>

#include "Vellamor2/WavePlot.h"

class WavePlotWaveform : public WavePlot {
  OBJC_NATIVE_CLASS(WavePlotWaveform, WavePlot)
 public:
  // Buffer sizes: 2 channels of at most 4096 points plus 4 spare (the fill borrows 2), and a
  // block of at most 65,536 samples (work buffer 81,920 floats, split arrays 40,960 each).
  static constexpr std::size_t kDisplayPoints = 2 * 4096 + 4;
  static constexpr std::size_t kSplitLength = 40960;
  static constexpr std::size_t kWorkLength = 81920;
  static constexpr vDSP_Length kFFTLog2Size = 17;  // ⌈log2 81,920⌉

  WavePlotWaveform() = default;
  ~WavePlotWaveform() override;

  // ---- WavePlot ----
  void setup() override;
  void updateSettings(NSDictionary* settings) override;
  void updateDataAndDraw(const serverDataStruct* record) override;
  void changePrimaryColor(UIColor* color) override;
  void changeBackgroundColor(UIColor* color) override;
  void checkForAudioFormatChange(const serverDataStruct* record) override;
  void resetWaveformSublayers() override;

  // Colours of the primary-colour mode (nothing while colouring by loudness).
  void setFill();
  // The loudness colour of a block's largest value, applied to the channel layers.
  void setFilltoAmp(float amplitude);

  // ---- Properties ----
  const std::vector<StrongRef<CAShapeLayer>>& waveformLayers() const { return waveformLayers_; }
  CGPoint* displayPoints() const { return displayPoints_.empty() ? nullptr : displayPointsData(); }
  FFTSetup fftSetup() const { return fftSetup_; }
  const DSPSplitComplex* tempSplitComplex() const { return &tempSplitComplex_; }
  const DSPSplitComplex* tempSplitComplexZero() const { return &tempSplitComplexZero_; }
  float* workData() const { return workData_.empty() ? nullptr : workDataData(); }

  std::uint32_t numberFrames() const { return numberFrames_; }
  void setNumberFrames(std::uint32_t frames) { numberFrames_ = frames; }
  std::uint32_t numberBuffers() const { return numberBuffers_; }
  void setNumberBuffers(std::uint32_t buffers) { numberBuffers_ = buffers; }
  std::uint32_t buffersPerPlot() const { return buffersPerPlot_; }
  void setBuffersPerPlot(std::uint32_t packets) { buffersPerPlot_ = packets; }
  bool shouldFill() const { return shouldFill_; }
  void setShouldFill(bool fill) { shouldFill_ = fill; }
  float lineThinkness() const { return lineThinkness_; }
  void setLineThinkness(float width) { lineThinkness_ = width; }
  float waveGain() const { return waveGain_; }
  void setWaveGain(float gain) { waveGain_ = gain; }
  float smudge() const { return smudge_; }
  void setSmudge(float smudge) { smudge_ = smudge; }
  float waveLPFAmount() const { return waveLPFAmount_; }
  void setWaveLPFAmount(float amount) { waveLPFAmount_ = amount; }
  bool overlay() const { return overlay_; }
  void setOverlay(bool overlay) { overlay_ = overlay; }
  bool stripPhase() const { return stripPhase_; }
  void setStripPhase(bool strip) { stripPhase_ = strip; }
  bool lowPassFilter() const { return lowPassFilter_; }
  void setLowPassFilter(bool filter) { lowPassFilter_ = filter; }
  float colorByAmplitude() const { return colorByAmplitude_; }
  void setColorByAmplitude(float value) { colorByAmplitude_ = value; }
  UIColor* amplitudeColor() const { return amplitudeColor_.get(); }
  void setAmplitudeColor(UIColor* color) { amplitudeColor_ = color; }

  static void registerMethods_(Class cls);

 private:
  CGPoint* displayPointsData() const { return const_cast<CGPoint*>(displayPoints_.data()); }
  float* workDataData() const { return const_cast<float*>(workData_.data()); }
  // Packs, filters and transforms back the first `n` samples of the work buffer as a block of
  // L = 2^log2L samples; the low-pass zeroes the pairs from `cut` on.
  void filterBlock(unsigned n, unsigned L, vDSP_Length log2L, unsigned cut, float scale);
  void colorLayers(UIColor* color);
  void buildPath(unsigned channel, int recordChannelCount);

  std::vector<StrongRef<CAShapeLayer>> waveformLayers_;
  std::vector<CGPoint> displayPoints_;
  FFTSetup fftSetup_ = nullptr;
  std::vector<float> splitReal_;
  std::vector<float> splitImaginary_;
  DSPSplitComplex tempSplitComplex_{nullptr, nullptr};
  float zeroReal_ = 0.0f;
  float zeroImaginary_ = 0.0f;
  DSPSplitComplex tempSplitComplexZero_{&zeroReal_, &zeroImaginary_};
  std::vector<float> workData_;

  std::uint32_t numberFrames_ = 0;
  std::uint32_t numberBuffers_ = 0;
  std::uint32_t buffersPerPlot_ = 0;
  bool shouldFill_ = false;
  float lineThinkness_ = 0.0f;
  float waveGain_ = 0.0f;
  float smudge_ = 0.0f;
  float waveLPFAmount_ = 0.0f;
  bool overlay_ = false;
  bool stripPhase_ = false;
  bool lowPassFilter_ = false;
  float colorByAmplitude_ = 0.0f;
  StrongRef<UIColor> amplitudeColor_;
};
