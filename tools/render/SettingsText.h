#pragma once
// The settings dictionary of a preview, built as SettingsManager builds it (every dictionary
// key with its default, `enabledCF` derived from `colourMethod`), with values given as text under
// their stored names: "WaveGain=2.5", "WaveFill=true", "ColourMethod=1".

#include <Foundation/Foundation.h>

#include <span>
#include <string>
#include <string_view>

namespace preview {

// The 43 entries with their defaults.
StrongRef<NSMutableDictionary> defaultSettings();

// Stores one "StoredKey=Value" into `settings` as a number of the key's own type (true/false,
// yes/no or 1/0 for a flag; an integer; a finite number). False with a message naming the key
// when the key is unknown or the value is not of its type.
bool applySetting(NSMutableDictionary* settings, std::string_view assignment, std::string* error);

// The defaults with every assignment applied, then `enabledCF` derived again; null with the
// first error.
StrongRef<NSMutableDictionary> settingsFromAssignments(std::span<const std::string> assignments,
                                                       std::string* error);

}  // namespace preview
