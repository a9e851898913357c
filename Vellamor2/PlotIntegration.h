#pragma once
// What the three integrations share: showing a plot over a host view, hiding it with its colours
// kept, and the display link that drives its drawing. Each works on the common fields of one
// state record, with the host's rule for handing kept colours back to the next plot.

#include <Foundation/Foundation.h>
#include <objc/StrongRef.h>

namespace vellamor2 {

// Display refreshes per tick: 30 drawings a second on the 60 Hz display.
inline constexpr long kFrameInterval = 2;

// Which kept colours must be set before a new plot gets them back (with "enabledCF").
enum class KeptColourRule {
  primary,               // the lock screen
  primaryAndBackground,  // the Music app and Spotify
};

// The fields every state record has, by reference.
struct PlotRecord {
  StrongRef<NSObject>& plot;
  StrongRef<NSObject>& hostView;
  StrongRef<NSObject>& displayLink;
  StrongRef<NSObject>& savedSecondaryColor;
  StrongRef<NSObject>& savedPrimaryColor;
  StrongRef<NSObject>& savedBackgroundColor;
};

template <class StateRecord>
PlotRecord plotRecordOf(StateRecord& state) {
  return {state.plot,
          state.hostView,
          state.displayLink,
          state.savedSecondaryColor,
          state.savedPrimaryColor,
          state.savedBackgroundColor};
}

// A new plot of the class "visMethod" names, over the record's host view, given back its kept
// colours when the rule allows, then the settings. The caller has made sure no plot is shown.
void showPlot(const PlotRecord& record, NSDictionary* settings, KeptColourRule rule);

// Invalidates the display link, keeps the plot's colours, clears and removes the plot. Nothing
// happens when no plot is shown.
void hidePlot(const PlotRecord& record);

// A link that sends "drawPlot:" to `target` every second refresh, in the default mode only.
void startDisplayLink(const PlotRecord& record, id target);

// `colour` (a UIColor) with its alpha replaced by `alpha`; none when there is no colour.
StrongRef<NSObject> colourWithAlpha(NSObject* colour, float alpha);

}  // namespace vellamor2
