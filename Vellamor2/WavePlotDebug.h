#pragma once
// WavePlotDebug: the simpler sibling of the joyplot. The twenty packets of channel 0 in the
// history, each shaped by a Hamming window, drawn as twenty lines evenly spaced from the top
// edge of the view (line 0 on the top edge, the newest line on top), every line a layer of its
// own filled with the opaque background colour down to the bottom of the view. Lines are
// stroked in the primary colour, or each by its own packet's amplitude.
//
// Limits, as for the joyplot: a frame count above 4096 reads as 4096; a record without frames
// or with a channel count other than 1 or 2 draws nothing and leaves the paths as they were;
// samples or a gain that are not finite clamp like any other value.

#include <QuartzCore/QuartzCore.h>

#include <cstdint>
#include <vector>

#include "Vellamor2/WavePlot.h"

class WavePlotDebug : public WavePlot {
  OBJC_NATIVE_CLASS(WavePlotDebug, WavePlot)
 public:
  static constexpr unsigned kLines = 20;
  static constexpr std::size_t kWorkLength = kLines * 4096;
  static constexpr std::size_t kDisplayPoints = kLines * (4096 + 2);
  static constexpr std::size_t kHammLength = 4096;
  static constexpr double kLineScale = 0.1;

  WavePlotDebug() = default;
  ~WavePlotDebug() override = default;

  // ---- WavePlot ----
  void setup() override;
  void updateSettings(NSDictionary* settings) override;
  void updateDataAndDraw(const serverDataStruct* record) override;
  void changePrimaryColor(UIColor* color) override;
  void changeBackgroundColor(UIColor* color) override;
  void checkForAudioFormatChange(const serverDataStruct* record) override;
  void resetWaveformSublayers() override;

  // Opaque background fills and primary strokes (nothing while colouring by amplitude).
  void setFill();
  // Each line stroked by its own packet's amplitude, over the opaque background fill.
  void setFilltoAmp();

  // ---- Properties ----
  const std::vector<StrongRef<CAShapeLayer>>& joyplotLayers() const { return joyplotLayers_; }
  CGPoint* displayPoints() const { return displayPoints_.empty() ? nullptr : displayPointsData(); }
  std::uint32_t numberFrames() const { return numberFrames_; }
  void setNumberFrames(std::uint32_t frames) { numberFrames_ = frames; }
  std::uint32_t numberBuffers() const { return numberBuffers_; }
  void setNumberBuffers(std::uint32_t buffers) { numberBuffers_ = buffers; }
  unsigned joyplots() const { return joyplots_; }
  float* hammArray() const { return hammArray_.empty() ? nullptr : hammArrayData(); }
  float* workData() const { return workData_.empty() ? nullptr : workDataData(); }
  float waveGain() const { return waveGain_; }
  void setWaveGain(float gain) { waveGain_ = gain; }
  float colorByAmplitude() const { return colorByAmplitude_; }
  void setColorByAmplitude(float value) { colorByAmplitude_ = value; }
  UIColor* amplitudeColor() const { return amplitudeColor_.get(); }
  void setAmplitudeColor(UIColor* color) { amplitudeColor_ = color; }

  static void registerMethods_(Class cls);

 private:
  CGPoint* displayPointsData() const { return const_cast<CGPoint*>(displayPoints_.data()); }
  float* hammArrayData() const { return const_cast<float*>(hammArray_.data()); }
  float* workDataData() const { return const_cast<float*>(workData_.data()); }
  StrongRef<UIColor> opaqueBackground() const;

  std::vector<StrongRef<CAShapeLayer>> joyplotLayers_;
  std::vector<CGPoint> displayPoints_;
  std::uint32_t numberFrames_ = 0;
  std::uint32_t numberBuffers_ = 0;
  unsigned joyplots_ = 0;
  std::vector<float> hammArray_;
  std::vector<float> workData_;
  float waveGain_ = 0.0f;
  float colorByAmplitude_ = 0.0f;
  StrongRef<UIColor> amplitudeColor_;
};
