#pragma once
// What a row holds as its pane shows it: the stored value (else the row's default), read through
// the pane, and the words for it.

#include <Preferences/PSSpecifier.h>

#include <string>

namespace settings_app {

// The row's value as its pane reads it; null for a row that holds none.
StrongRef<NSObject> valueOf(id pane, const PSSpecifier& row);

// "%g": as few digits as tell the number.
std::string numberText(double value);

// The title of the choice of a list row whose value is `value`; empty when none has it.
std::string choiceTitle(const PSSpecifier& row, double value);

// True when the row takes whole numbers only (its default is no real number).
bool takesWholeNumbers(const PSSpecifier& row);

}  // namespace settings_app
