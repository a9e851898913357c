#pragma once
// WavePlotJoyplot: the twenty packets of channel 0 in the history drawn as twenty stacked
// waveforms, the oldest at the top and the newest at the bottom, each shaped by a Hamming window
// so that it tapers toward both ends. Masked, every line is a layer of its own, filled with the
// opaque background colour down to the bottom of the view, so that a newer line hides what the
// older lines behind it swing into; unmasked, all lines are one open stroked path in one layer.
// Lines are stroked in the primary colour, or red, yellow or green by amplitude.
//
// Limits, held rather than trusted (the buffers are sized for them):
//  - a record's frame count above 4096 is read as 4096;
//  - a record without frames (no audio yet) or with a channel count other than 1 or 2 draws
//    nothing: the layers keep the paths they had, and no coordinate is computed from it;
//  - samples or a gain that are not finite clamp like any other value (a NaN reads as the top of
//    the range), so a path never holds a coordinate that is not a number.

#include <QuartzCore/QuartzCore.h>

#include <cstdint>
#include <vector>

#include "Vellamor2/WavePlot.h"

class WavePlotJoyplot : public WavePlot {
  OBJC_NATIVE_CLASS(WavePlotJoyplot, WavePlot)
 public:
  // Twenty lines of at most 4096 frames, each line's points followed by its two closing points.
  static constexpr unsigned kLines = 20;
  static constexpr std::size_t kWorkLength = kLines * 4096;
  static constexpr std::size_t kDisplayPoints = kLines * (4096 + 2);
  static constexpr std::size_t kHammLength = 4096;
  // Vertical scale of a line: a sample of ±1 moves it by a tenth of the height.
  static constexpr double kLineScale = 0.1;

  // The amplitude class of a line or block maximum (compared in double precision).
  enum AmplitudeClass : int { kNoClass = 0, kGreen = 1, kYellow = 2, kRed = 3 };
  static int amplitudeClassOf(double maximum);

  // The shared steps of the stacked plots: copies the first `lines` × `frames` samples of
  // channel 0 into `work`, multiplies each line in place by `window` and writes line i's
  // `frames` points at i × (frames + 2): (j, gain × sample held within −1 … 1). `frames` at most
  // 4096, `lines` at most 20.
  static void windowLines(const serverDataStruct* record, unsigned lines, unsigned frames,
                          const float* window, float gain, float* work, CGPoint* points);
  // A line layer as the stacked plots start it: the frame given, line width 1, round joins,
  // opaque, no fill, stroke or background.
  static StrongRef<CAShapeLayer> makeLineLayer(CGRect frame);

  WavePlotJoyplot() = default;
  ~WavePlotJoyplot() override = default;

  // ---- WavePlot ----
  void setup() override;
  void updateSettings(NSDictionary* settings) override;
  void updateDataAndDraw(const serverDataStruct* record) override;
  void changePrimaryColor(UIColor* color) override;
  void changeBackgroundColor(UIColor* color) override;
  // The shared contract, then the Hamming window of the frame count, on every call.
  void checkForAudioFormatChange(const serverDataStruct* record) override;
  void resetWaveformSublayers() override;

  // Fill and stroke of every line layer for the primary-colour mode.
  void setFill();
  // Amplitude colours: per line when masked; unmasked, the one line's colour only when the
  // class of the whole history changes.
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
  bool joyplotMask() const { return joyplotMask_; }
  void setJoyplotMask(bool mask) { joyplotMask_ = mask; }
  UIColor* amplitudeColor() const { return amplitudeColor_.get(); }
  void setAmplitudeColor(UIColor* color) { amplitudeColor_ = color; }
  int amplitudeStatus() const { return amplitudeStatus_; }
  void setAmplitudeStatus(int status) { amplitudeStatus_ = status; }

  static void registerMethods_(Class cls);

 private:
  CGPoint* displayPointsData() const { return const_cast<CGPoint*>(displayPoints_.data()); }
  float* hammArrayData() const { return const_cast<float*>(hammArray_.data()); }
  float* workDataData() const { return const_cast<float*>(workData_.data()); }
  // The opaque background colour that the masked lines are filled with (none without one).
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
  bool joyplotMask_ = false;
  StrongRef<UIColor> amplitudeColor_;
  int amplitudeStatus_ = kNoClass;
};
