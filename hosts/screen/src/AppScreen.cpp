#include "HostScreen/AppScreen.h"

#include <UIKit/UIColor.h>

#include "HostScreen/ArtworkImage.h"
#include "HostScreen/ScreenWatch.h"

namespace screen {

AppScreen::AppScreen(double red, double green, double blue)
    : background_(CGColorMakeRGBA(red, green, blue, 1)) {}

UIView* AppScreen::root() {
  if (!root_) {
    root_ = UIView::viewWithFrame<UIView>(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
    root_->setBackgroundColor(UIColor::colorWithCGColor(&background_).get());
    watchScreen(root_.get());
  }
  return root_.get();
}

void AppScreen::chooseArtwork(cg::ImageRef image) {
  chosen_ = std::move(image);
  itemCover_ = nullptr;
}

std::optional<std::string> AppScreen::chooseArtworkFrom(const std::string& file) {
  if (file.empty()) return std::nullopt;
  std::string reason;
  cg::ImageRef image = artworkFromFile(file, &reason);
  if (!image) return "error cannot show " + file + ": " + reason;
  chooseArtwork(std::move(image));
  return std::nullopt;
}

cg::ImageRef AppScreen::artwork() {
  if (chosen_) return chosen_;
  if (!itemCover_) itemCover_ = generatedCover(512, item_);
  return itemCover_;
}

void AppScreen::nextItem() {
  ++item_;
  chooseArtwork(nullptr);
}

void AppScreen::place(id controller) {
  auto* view = controller != nullptr ? msgSend<UIView*>(controller, "view") : nullptr;
  if (placed_ == view) return;
  if (placed_ != nullptr) placed_->removeFromSuperview();
  placed_ = view;
  if (view == nullptr) return;
  view->setFrame(CGRectMake(0, 0, kScreenWidth, kScreenHeight));
  root()->addSubview(view);
}

std::optional<std::string> answerNowPlayingRequest(const control::ControlRequest& request,
                                                   AppScreen& screen, const NowPlayingScreen& app) {
  if (request.command == "show-now-playing") {
    if (auto failed = screen.chooseArtworkFrom(request.argument)) return *failed;
    app.bringOn();
    return app.controller() != nullptr
               ? "ok shown"
               : control::errorReply(std::string("no ") + app.controllerName);
  }
  if (request.command == "hide-now-playing") {
    app.takeOff();
    return "ok hidden";
  }
  if (request.command == "now-playing")
    return control::answerNowPlaying(request.argument, app.showInfo);
  return std::nullopt;
}

}  // namespace screen
