#pragma once
// What a video shows: the plot over the song's artwork, square, as the lock screen's artwork
// area shows it; or the whole lock screen with the plot over its now-playing artwork.

#include <Foundation/Foundation.h>
#include <UIKit/UIKit.h>

#include <optional>

#include "Renderer/Image.h"
#include "Vellamor2/WavePlot.h"

namespace video {

enum class Screen { artwork, lockscreen };

struct VideoScene {
  StrongRef<UIView> root;  // what is rasterised
  StrongRef<WavePlot> plot;
  double scale = 1;  // device pixels per point
  int width = 0;     // pixels, even
  int height = 0;
};

// The scene at `size` pixels wide (the lock screen keeps its proportions); `artwork` is the
// picture to show, or nothing for the sample cover.
VideoScene makeVideoScene(Screen screen, int size, const std::optional<render::Image>& artwork,
                          NSDictionary* settings);

}  // namespace video
