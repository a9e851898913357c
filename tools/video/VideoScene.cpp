#include "VideoScene.h"

#include <HostCommon/RuntimeClass.h>
#include <HostCommon/SystemVersion.h>

#include <ColorFlow/ArtworkPalette.h>
#include <Foundation/NSNotificationCenter.h>
#include <HostScreen/ArtworkImage.h>
#include <Renderer/Renderer.h>

#include <cmath>

#include "LockScreenScreen.h"
#include "PlotPreview.h"
#include "SampleArtwork.h"
#include "SpringBoardClasses.h"

namespace video {
namespace {

// The lock screen's now-playing artwork is 320 points square: a square video is that area.
constexpr double kArtworkSide = 320;

cg::ImageRef imageOf(const render::Image& picture) {
  return cg::ImageRef::adopt(
      CGImageCreateWithRGBA(picture.width, picture.height, picture.rgba.data(), picture.width * 4));
}

// Encoders take even sizes; the picture is cropped to it.
int even(double pixels) {
  return 2 * static_cast<int>(std::floor(pixels / 2 + 1e-9));
}

// ColorFlow as the lock screen has it: when the artwork appears, the colourisation notification
// with the artwork's palette, which a plot follows when "ColourMethod" is 2.
void announceArtworkColours(const std::uint8_t* rgba, std::size_t width, std::size_t height) {
  const auto palette = colorflow::paletteFromArtwork(rgba, width, height, width * 4);
  if (!palette) return;
  auto colorOf = [](const colorflow::PaletteColor& color) {
    return UIColor::colorWithRed(color.red, color.green, color.blue, 1);
  };
  auto userInfo = NSMutableDictionary::dictionary();
  userInfo->setObject(colorOf(palette->primary).get(), "PrimaryColor");
  userInfo->setObject(colorOf(palette->secondary).get(), "SecondaryColor");
  userInfo->setObject(colorOf(palette->background).get(), "BackgroundColor");
  NSNotificationCenter::defaultCenter()->postNotificationName(
      "ColorFlowLockScreenColorizationNotification", nullptr, userInfo);
}

}  // namespace

VideoScene makeVideoScene(Screen screen, int size, const std::optional<render::Image>& artwork,
                          NSDictionary* settings) {
  VideoScene scene;
  if (screen == Screen::lockscreen) {
    // SpringBoard's own screen and artwork controller, the plot in the artwork's container view
    // as the lock screen puts it there.
    static bool defined = false;
    if (!defined) springboard::defineClasses(host::kNewerGeneration);
    defined = true;
    springboard::showNowPlayingArtwork();
    springboard::setArtworkImage(artwork ? imageOf(*artwork) : nullptr);
    id controller = springboard::nowPlayingArtworkController();
    id container =
        host::ivarObject(host::ivarObject(controller, "_artworkView"), "_artworkContainerView");
    scene.root = springboard::lockScreen();
    scene.plot = preview::showPlot(objc::cast<UIView>(container), settings);
    const cg::ImageRef shown = artwork ? imageOf(*artwork) : screen::generatedCover();
    if (settings->boolValue("enabledCF"))
      announceArtworkColours(shown->rgba(), shown->width(), shown->height());
    scene.scale = size / springboard::kScreenWidth;
    scene.width = even(size);
    scene.height = even(springboard::kScreenHeight * scene.scale);
    return scene;
  }
  const CGSize side = CGSizeMake(kArtworkSide, kArtworkSide);
  if (artwork) {
    scene.root = UIView::viewWithFrame(CGRectMake(0, 0, side.width, side.height));
    scene.root->layer()->setContents(imageOf(*artwork).get());
  } else {
    scene.root = preview::makeArtworkView(preview::Artwork::cover, side);
  }
  // The artwork as drawn, before the plot covers it, for ColorFlow's palette.
  const render::Image shown = render::renderView(scene.root, {.scale = 1.0});
  scene.plot = preview::showPlot(scene.root, settings);
  if (settings->boolValue("enabledCF"))
    announceArtworkColours(shown.rgba.data(), shown.width, shown.height);
  scene.scale = size / kArtworkSide;
  scene.width = scene.height = even(size);
  return scene;
}

}  // namespace video
