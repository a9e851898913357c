// The play-pause control of every now-playing screen (the lock screen, Music, Spotify) follows
// the audio daemon's pause as the now-playing request tells it: pause while playing, play while
// paused. Read back from each screen's captured pixels.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "SystemTestSupport.h"

namespace {

struct GlyphBox {
  const char* host;
  int left, top, side;  // points, which a capture at scale 1 makes pixels
};

constexpr GlyphBox kBoxes[] = {{"SpringBoard", 165, 584, 44},  // the lock screen's controls
                               {"Music", 165, 566, 44},
                               {"Spotify", 175, 578, 24}};  // inside the play button's circle

// Whether the glyph covers the box's centre, where the pause glyph has its gap and the play
// glyph its body: the centre unlike the box's left edge, which neither glyph reaches.
bool centreCovered(const render::Image& picture, const GlyphBox& box) {
  const std::size_t y = static_cast<std::size_t>(box.top + box.side / 2);
  const auto centre = picture.pixel(static_cast<std::size_t>(box.left + box.side / 2), y);
  const auto edge = picture.pixel(static_cast<std::size_t>(box.left + 1), y);
  int difference = 0;
  for (int c = 0; c < 3; ++c) difference += std::abs(centre[c] - edge[c]);
  return difference > 120;
}

class PlayPauseDevice : public system_test::AppDevice {
 protected:
  PlayPauseDevice() : AppDevice("Music") {}

  render::Image captureOf(const std::string& host, const std::string& name) {
    const auto path = device_.path() / (name + ".png");
    std::string reply;
    EXPECT_TRUE(control::request(host, "capture " + path.string() + " 1", &reply)) << reply;
    auto picture = render::readPng(path.string());
    return picture ? *picture : render::Image();
  }
};

TEST_F(PlayPauseDevice, EveryScreensGlyphFollowsThePause) {
  ASSERT_TRUE(boot(10)) << device_.log();
  std::string reply;
  ASSERT_TRUE(control::request("Spotify", "show-now-playing", &reply)) << reply;
  for (const bool paused : {true, false}) {
    for (const GlyphBox& box : kBoxes) {
      SCOPED_TRACE(std::string(box.host) + (paused ? " paused" : " playing"));
      ASSERT_TRUE(control::request(
          box.host, std::string("now-playing Dusk Loop|Vellamor2|3|30|") + (paused ? "1" : "0"),
          &reply))
          << reply;
      const auto picture =
          captureOf(box.host, std::string(box.host) + (paused ? "-paused" : "-playing"));
      ASSERT_FALSE(picture.empty());
      EXPECT_EQ(centreCovered(picture, box), paused) << "play shows while paused, pause while not";
    }
  }
}

}  // namespace
