#pragma once
// The Settings app's control service ("Preferences" in the device's run/control/): what a person
// does in the app.
//
//   panes               the panes, one name per line after "ok"
//   rows [PANE]         the pane's rows (the pane on screen's without PANE), one per line after
//                       "ok PANE"
//   follow ROW          follows the link row ROW (its id or label), puts its pane on screen and
//                       answers as `rows` does
//   back                takes the pane on screen off, back to the one it was opened from, and
//                       answers as `rows` does for that one
//   set KEY VALUE       changes the row of the stored key KEY as its cell would (a switch: on or
//                       off; a slider or text field: a number; a list: a value or a title)
//   press ROW           presses the button row ROW (its id or label)
//
// A row is told as tab-separated fields: kind (group, switch, slider, list, text, link, button),
// id, label, stored key, current value, and the range ("MIN..MAX"), the choices
// ("VALUE=Title,..."), for a link the pane it leads to, or for a group its footer; a slider or
// text field that takes whole numbers only has a seventh field, "whole". A list longer than a reply
// holds ends with the line "more N", N the lines left out. An unknown pane, row or key, or a value
// the cell cannot take, is answered with an error naming it, and nothing is written. The screen
// requests (HostScreen/ScreenRequests.h) are answered about the app's screen, which the requests
// above change as a person's taps would.

#include <string>

#include <HostControl/ControlRequest.h>

namespace settings_app {

// Offers the service; logs and carries on without it when it cannot be offered.
void startControlService();

std::string handleControlRequest(const control::ControlRequest& request);

}  // namespace settings_app
