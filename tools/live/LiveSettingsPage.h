#pragma once
// The live page's Settings panel, beside the Settings app's screen: the rows of the pane on
// screen, read from the Settings app through the server, and a control for each row that asks the
// app to make the change as the row's cell would (LiveRequest.h). Part of the page's script.

namespace live {

const char* settingsPanelScript();

}  // namespace live
