#include "LivePanels.h"

namespace live {
namespace {

constexpr Button kLockScreenButtons[] = {
    {"show", "Show now playing", "show-artwork"},
    {"hide", "Hide now playing", "hide-artwork"},
    {"screen-off", "Screen off", "blank"},
    {"screen-on", "Screen on", "light"},
};

constexpr Button kMusicButtons[] = {
    {"show", "Show now playing", "show-now-playing"},
    {"hide", "Hide now playing", "hide-now-playing"},
    {"play-video", "Play video", "play-video"},
    {"stop-video", "Stop video", "stop-video"},
    {"next", "Next item", "next-item"},
};

constexpr Button kSpotifyButtons[] = {
    {"show", "Show now playing", "show-now-playing"},
    {"hide", "Hide now playing", "hide-now-playing"},
    {"next", "Next track", "next-track"},
};

constexpr Panel kPanels[] = {
    {"SpringBoard", "Lock screen", kLockScreenButtons},
    {"Music", "Music", kMusicButtons},
    {"Spotify", "Spotify", kSpotifyButtons},
    {"Preferences", "Settings", {}},
};

constexpr Button kAudioButtons[] = {
    {"pause", "Pause audio", "pause"},
    {"resume", "Resume audio", "resume"},
};

constexpr Panel kAudio{"audio", "Audio", kAudioButtons};

}  // namespace

std::span<const Panel> panels() {
  return kPanels;
}

const Panel* findPanel(std::string_view host) {
  if (host == kAudio.host) return &kAudio;
  for (const Panel& panel : kPanels)
    if (host == panel.host) return &panel;
  return nullptr;
}

const Button* findButton(const Panel& panel, std::string_view name) {
  for (const Button& button : panel.buttons)
    if (name == button.name) return &button;
  return nullptr;
}

const Panel& audioPanel() {
  return kAudio;
}

const char* controlServiceOf(const Panel& panel) {
  return &panel == &kAudio ? "mediaserverd" : panel.host;
}

}  // namespace live
