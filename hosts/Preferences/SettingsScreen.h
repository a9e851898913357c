#pragma once
// The Settings app's screen: the pane on screen drawn as the phone's grouped list, its rows and
// their values read through the pane. It is drawn anew when another pane comes on screen, when a
// row is changed here, and when a row's change notification is posted by anyone. Main thread.

#include <UIKit/UIView.h>

#include <string>

namespace settings_app {

// The screen's root view, made and watched on first use.
UIView* settingsScreen();

// Draws the pane on screen; `focus` (a row's stored key or id) is scrolled into view and stays so
// until another row takes the focus or another pane comes on screen.
void drawShownPane(const std::string& focus = {});

}  // namespace settings_app
