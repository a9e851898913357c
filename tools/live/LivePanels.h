#pragma once
// The live page's panels, one per screen of the phone, each fed by the same frames from its
// host's render server and driven through its host's control service; a screen joins by a row
// here. The audio daemon's pair of buttons ("audio" on the page) goes to its control service.

#include <span>
#include <string_view>

namespace live {

struct Button {
  const char* name;     // in the press path
  const char* label;    // on the page
  const char* request;  // the control request it sends
};

struct Panel {
  const char* host;   // the host program and its control service ("audio": the audio daemon)
  const char* title;  // on the page
  std::span<const Button> buttons;
};

std::span<const Panel> panels();
const Panel* findPanel(std::string_view host);
const Button* findButton(const Panel& panel, std::string_view name);

// The audio daemon: pause and resume.
const Panel& audioPanel();

// The control service a panel's buttons go to.
const char* controlServiceOf(const Panel& panel);

}  // namespace live
