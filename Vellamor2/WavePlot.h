#pragma once
// WavePlot: the base view of every plot and the one interface through which the hosts drive
// one (setup, updateSettings:, updateDataAndDraw:, the colour changes and getters, clear).
//
// The base draws nothing. It holds the three working colours and the three defaults built from
// the settings, applies the settings' colours (or, with ColorFlow enabled, only their alpha to
// the current hues) and follows ColorFlow's colour notifications. Each operation is a run-time
// method whose implementation calls the C++ member, so the plots override the virtual members
// and hosts may send either way.
//
// It is also the plots' common toolbox: reading the newest packets of the history record, the
// loudness colour, the centre line of a channel and the limits of a record that a plot can draw.

#include <Foundation/Foundation.h>
#include <UIKit/UIKit.h>

#include <cstdint>

struct serverDataStruct;

class WavePlot : public UIView {
  OBJC_NATIVE_CLASS(WavePlot, UIView)
 public:
  WavePlot() = default;
  // A plot dropped without `clear` must not stay an observer: the centre does not retain it.
  ~WavePlot() override;

  // ---- Operations the hosts use ----
  // Builds the plot's layers and buffers; the base has none.
  virtual void setup() {}
  // "setup:": `setup`, then one frame from `record`.
  void setupAndDraw(const serverDataStruct* record);
  // Stops following ColorFlow.
  void clear();

  UIColor* getPrimaryColor() const { return primaryColor_.get(); }
  UIColor* getSecondaryColor() const { return secondaryColor_.get(); }
  UIColor* getBackgroundColor() const { return backgroundColor_.get(); }

  // Store the colour; plots override them to recolour their layers (calling these first).
  virtual void changePrimaryColor(UIColor* color);
  virtual void changeSecondaryColor(UIColor* color);
  virtual void changeBackgroundColor(UIColor* color);

  // Builds the three defaults from the twelve colour keys (a missing key reads as 0).
  void loadDefaultColors(NSDictionary* settings);
  // Applies the defaults through the change operations, when they were ever built.
  void loadDefaultColors();

  // The colours of the settings; plots override it to read their own keys afterwards.
  virtual void updateSettings(NSDictionary* settings);
  // One frame from the history record; the base draws nothing.
  virtual void updateDataAndDraw(const serverDataStruct* record) { (void)record; }

  void registerCFN();
  void deRegisterCFN();
  // Colourisation: the notified hues with the current alphas.
  void CFCNHandle(NSNotification* notification);
  // Reversion: the default colours.
  void CFRNHandle(NSNotification* notification);

  // A plot never takes a touch: touches reach the views beneath it.
  bool pointInside(CGPoint point, UIEvent* event) override;

  // ---- The plots' shared contract ----
  // Adapts the plot to the record's channel and frame counts (see adoptAudioFormat).
  virtual void checkForAudioFormatChange(const serverDataStruct* record) { (void)record; }
  // Detaches the plot's sublayers and attaches the ones in use again, in drawing order.
  virtual void resetWaveformSublayers() {}

  // ---- Properties ----
  UIColor* secondaryColor() const { return secondaryColor_.get(); }
  void setSecondaryColor(UIColor* color) { secondaryColor_ = color; }
  UIColor* primaryColor() const { return primaryColor_.get(); }
  void setPrimaryColor(UIColor* color) { primaryColor_ = color; }
  // Takes the place of the view's background colour: storing into it paints nothing.
  UIColor* backgroundColor() const override { return backgroundColor_.get(); }
  void setBackgroundColor(UIColor* color) override { backgroundColor_ = color; }
  UIColor* defaultSecondaryColor() const { return defaultSecondaryColor_.get(); }
  void setDefaultSecondaryColor(UIColor* color) { defaultSecondaryColor_ = color; }
  UIColor* defaultPrimaryColor() const { return defaultPrimaryColor_.get(); }
  void setDefaultPrimaryColor(UIColor* color) { defaultPrimaryColor_ = color; }
  UIColor* defaultBackgroundColor() const { return defaultBackgroundColor_.get(); }
  void setDefaultBackgroundColor(UIColor* color) { defaultBackgroundColor_ = color; }

  static void registerMethods_(Class cls);

  // ---- For the plots ----
  // The history keeps the last 20 packets of each of at most 2 channels, a packet holding at
  // most 4096 frames; no plot's work buffers take a block beyond 65,536 samples.
  static constexpr int kHistoryPackets = 20;
  static constexpr unsigned kMaxChannels = 2;
  static constexpr unsigned kMaxFrames = 4096;
  static constexpr unsigned kMaxBlock = 65536;

  // The channel count of a record that a plot can draw (1 or 2), or 0 when it is out of range.
  static unsigned recordChannels(const serverDataStruct* record);
  // The record's frames per packet, held within 0 … 4096 (a negative count reads as 0).
  static unsigned recordFrames(const serverDataStruct* record);
  // True when a frame can be drawn from the record: 1 or 2 channels and at least one frame.
  static bool recordIsDrawable(const serverDataStruct* record);
  // The newest `packets` packets of `channel`, oldest first: packets × frames samples starting at
  // (20 − packets) × frames. `packets` must be 1 … 20 and frames at most 4096.
  static const float* newestPackets(const serverDataStruct* record, unsigned channel,
                                    unsigned packets, unsigned frames);

  // The loudness colour of a block's largest value: red above 0.85, yellow above 0.6, else
  // green (compared in double precision; the shared system colours).
  static UIColor* amplitudeColorFor(double maximum);
  // Where a channel's centre line lies, as a fraction of the layer's height from its top: 0.75
  // for channel 0 and 0.25 for channel 1 when a two-channel record is drawn apart, else 0.5.
  static double channelCentreFraction(int recordChannelCount, bool overlay, unsigned channel);

  // The shared contract of checkForAudioFormatChange: takes the record's channel count into
  // `numberBuffers` (calling resetWaveformSublayers when it changed) and its frame count into
  // `numberFrames`. A record that cannot be drawn changes nothing; returns whether it can be.
  bool adoptAudioFormat(const serverDataStruct* record, std::uint32_t& numberBuffers,
                        std::uint32_t& numberFrames);

 private:
  StrongRef<UIColor> secondaryColor_;
  StrongRef<UIColor> primaryColor_;
  StrongRef<UIColor> backgroundColor_;
  StrongRef<UIColor> defaultSecondaryColor_;
  StrongRef<UIColor> defaultPrimaryColor_;
  StrongRef<UIColor> defaultBackgroundColor_;
};

// The ColorFlow notifications, in the order they are observed.
inline constexpr const char* kColorFlowLockScreenColorizationNotification =
    "ColorFlowLockScreenColorizationNotification";
inline constexpr const char* kColorFlowMusicAppColorizationNotification =
    "ColorFlowMusicAppColorizationNotification";
inline constexpr const char* kColorFlowMusicAppColorReversionNotification =
    "ColorFlowMusicAppColorReversionNotification";
inline constexpr const char* kColorFlowLockScreenColorReversionNotification =
    "ColorFlowLockScreenColorReversionNotification";
