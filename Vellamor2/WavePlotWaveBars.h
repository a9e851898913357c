#pragma once
// WavePlotWaveBars: the loudness envelope of the newest audio as a row of bars per channel that
// grow up and down from a centre line (channel 0 in the lower half, channel 1 in the upper half;
// one channel or overlay on the middle line). A bar is the mean, over a window of samples, of
// the sample magnitudes in decibels mapped onto 0 … 1 by the sensitivity; consecutive windows
// overlap by half, and each frame moves a bar halfway toward its new height. Bars are coloured
// with the primary colour (outlined, or filled at 90 %) or through a fixed red-yellow-green
// gradient cut out by the union of the bars.
//
// Limits, held rather than trusted (the buffers are sized for them):
//  - `barsPerPlot` is held within 2 … 128 and `buffersPerPlot` within 1 … 20 by the settings;
//  - a `sensitivity` that is not a positive finite number reads as the default 15 dB, and a
//    gain that is not finite as the default 2;
//  - a record's frame count above 4096 is read as 4096; a record with a channel count other than
//    0, 1 or 2 changes nothing; a record with no channels (no audio yet) shows nothing;
//  - a frame whose window would hold no sample (2 × packets × frames below bars + 1, a record
//    without frames among them) draws nothing: the layers keep what they show;
//  - samples that are not finite give full bars, never a coordinate that is not a number.

#include <Accelerate/Accelerate.h>
#include <QuartzCore/QuartzCore.h>

#include <cstdint>
#include <vector>

#include "Vellamor2/WavePlot.h"

class WavePlotWaveBars : public WavePlot {
  OBJC_NATIVE_CLASS(WavePlotWaveBars, WavePlot)
 public:
  static constexpr std::size_t kBarLayers = 256;
  static constexpr std::size_t kDisplayPoints = 4 * kBarLayers;
  static constexpr std::size_t kWorkLength = 81920;
  static constexpr unsigned long kMinBars = 2;
  static constexpr unsigned long kMaxBars = 128;
  static constexpr unsigned long kMaxBuffersPerPlot = 20;
  static constexpr float kDefaultSensitivity = 15.0f;
  static constexpr float kDefaultGain = 2.0f;

  WavePlotWaveBars() = default;
  ~WavePlotWaveBars() override = default;

  // ---- WavePlot ----
  void setup() override;
  void updateSettings(NSDictionary* settings) override;
  void updateDataAndDraw(const serverDataStruct* record) override;
  void changePrimaryColor(UIColor* color) override;
  void changeBackgroundColor(UIColor* color) override;
  void checkForAudioFormatChange(const serverDataStruct* record) override;
  void resetWaveformSublayers() override;

  // The gradient's mask and its stops for the channel count and `overlay`.
  void setupGradientMask();
  // Colours of the primary-colour mode (nothing while colouring by amplitude).
  void setFill();

  // The window length of a frame: (2 × packets × frames) / (bars + 1).
  static unsigned long windowLength(unsigned long packets, unsigned long frames,
                                    unsigned long bars);

  // ---- Properties ----
  const std::vector<StrongRef<CAShapeLayer>>& waveformLayers() const { return waveformLayers_; }
  CAGradientLayer* gradientLayer() const { return gradientLayer_.get(); }
  CAShapeLayer* maskLayer() const { return maskLayer_.get(); }
  CGPoint* displayPoints() const { return displayPoints_.empty() ? nullptr : pointsData(); }
  float* workData() const { return workData_.empty() ? nullptr : floats(workData_); }
  float* barsData() const { return barsData_.empty() ? nullptr : floats(barsData_); }

  unsigned long numberFrames() const { return numberFrames_; }
  void setNumberFrames(unsigned long frames) { numberFrames_ = frames; }
  unsigned long numberBuffers() const { return numberBuffers_; }
  void setNumberBuffers(unsigned long buffers) { numberBuffers_ = buffers; }
  unsigned long buffersPerPlot() const { return buffersPerPlot_; }
  void setBuffersPerPlot(unsigned long packets) { buffersPerPlot_ = packets; }
  unsigned long barsPerPlot() const { return barsPerPlot_; }
  void setBarsPerPlot(unsigned long bars) { barsPerPlot_ = bars; }
  float sensitivity() const { return sensitivity_; }
  void setSensitivity(float sensitivity) { sensitivity_ = sensitivity; }
  bool shouldFill() const { return shouldFill_; }
  void setShouldFill(bool fill) { shouldFill_ = fill; }
  float waveGain() const { return waveGain_; }
  void setWaveGain(float gain) { waveGain_ = gain; }
  bool overlay() const { return overlay_; }
  void setOverlay(bool overlay) { overlay_ = overlay; }
  float colorByAmplitude() const { return colorByAmplitude_; }
  void setColorByAmplitude(float value) { colorByAmplitude_ = value; }

  static void registerMethods_(Class cls);

 private:
  CGPoint* pointsData() const { return const_cast<CGPoint*>(displayPoints_.data()); }
  static float* floats(const std::vector<float>& buffer) {
    return const_cast<float*>(buffer.data());
  }
  // Bars per channel that a frame draws: `barsPerPlot` within 2 … 128.
  unsigned long barsInUse() const;
  // The 0-to-1 levels of T samples in workData, and in barsData[b] the sum of the window of
  // length L that bar b reads (of B bars), starting at level (b × L) / 2.
  void computeWindowSums(const float* source, unsigned long T, unsigned long L, unsigned long B);

  std::vector<StrongRef<CAShapeLayer>> waveformLayers_;
  StrongRef<CAGradientLayer> gradientLayer_;
  StrongRef<CAShapeLayer> maskLayer_;
  std::vector<CGPoint> displayPoints_;
  std::vector<float> workData_;
  std::vector<float> barsData_;

  unsigned long numberFrames_ = 0;
  unsigned long numberBuffers_ = 0;
  unsigned long buffersPerPlot_ = 0;
  unsigned long barsPerPlot_ = 0;
  float sensitivity_ = 0.0f;
  bool shouldFill_ = false;
  float waveGain_ = 0.0f;
  bool overlay_ = false;
  float colorByAmplitude_ = 0.0f;
};
