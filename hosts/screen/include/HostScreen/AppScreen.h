#pragma once
// An app's screen (375 × 667) as the Music app and Spotify draw it: a plain background, the
// now-playing controller's view over all of it, and the artwork of the playing item (a PNG the
// user chose, or the item's generated cover). Watched for the frames it commits. Main thread
// only.

#include <CoreGraphics/CGImage.h>
#include <HostControl/ControlRequest.h>
#include <HostControl/NowPlayingInfo.h>
#include <UIKit/UIView.h>
#include <objc/StrongRef.h>

#include <optional>
#include <string>

namespace screen {

inline constexpr double kScreenWidth = 375;
inline constexpr double kScreenHeight = 667;

class AppScreen {
 public:
  AppScreen(double red, double green, double blue);

  UIView* root();

  // The artwork from now on: `image`, or the generated cover of each item when it is null.
  void chooseArtwork(cg::ImageRef image);
  // The same from the PNG `file` when one is named; an error reply when it cannot be read.
  std::optional<std::string> chooseArtworkFrom(const std::string& file);
  cg::ImageRef artwork();

  // The next item plays, with its own generated cover.
  void nextItem();
  unsigned item() const { return item_; }

  // Puts `controller`'s view over the whole screen, or takes the placed one off (null).
  void place(id controller);

 private:
  CGColor background_;
  StrongRef<UIView> root_;
  cg::ImageRef chosen_;
  cg::ImageRef itemCover_;
  unsigned item_ = 0;
  UIView* placed_ = nullptr;  // held by the root while placed
};

// What an app does with its now-playing screen, for the requests below.
struct NowPlayingScreen {
  void (*bringOn)();
  void (*takeOff)();
  id (*controller)();          // the screen's controller, null while it is away
  const char* controllerName;  // named when none came on screen
  void (*showInfo)(const control::NowPlayingInfo& info);
};

// The requests both apps answer alike; nothing for any other request:
//   show-now-playing [FILE]     the artwork from the PNG FILE when one is named, the screen on:
//                               "ok shown"
//   hide-now-playing            the screen away: "ok hidden"
//   now-playing T|A[|E|D[|P]]   the track as NowPlayingInfo.h reads it: "ok now-playing"
std::optional<std::string> answerNowPlayingRequest(const control::ControlRequest& request,
                                                   AppScreen& screen, const NowPlayingScreen& app);

}  // namespace screen
