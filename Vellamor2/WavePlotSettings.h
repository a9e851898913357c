#pragma once
// How the plots read their settings and hold values to the drawing's range. A plot may be given
// no dictionary at all; every key then reads as 0 or false.

#include <Foundation/Foundation.h>

inline float settingFloat(NSDictionary* settings, const char* key) {
  return settings != nullptr ? settings->floatValue(key) : 0.0f;
}
inline long settingInteger(NSDictionary* settings, const char* key) {
  return settings != nullptr ? settings->integerValue(key) : 0;
}
inline bool settingBool(NSDictionary* settings, const char* key) {
  return settings != nullptr && settings->boolValue(key);
}

// Limited to −1 … 1; a value that is not a number reads as 1.
inline float heldToUnit(float v) {
  if (!(v < 1.0f)) v = 1.0f;
  if (v < -1.0f) v = -1.0f;
  return v;
}
