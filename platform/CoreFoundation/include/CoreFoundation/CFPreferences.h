#pragma once
// The preferences store. An application domain is the property-list file
// <device>/var/mobile/Library/Preferences/<domain>.plist. Values are booleans, integers, reals
// and strings (see CFPropertyList.h); entries of other types in a file are not read.
//
// Each process keeps a copy of a domain: it is read on first use and again at every
// synchronisation, which also writes this process's changes. A write replaces the file whole
// (temporary file, sync, rename), so the file on disk always holds complete settings. A file that
// cannot be parsed reads as an empty domain and is left as it is.

#include "CoreFoundation/CFBase.h"
#include "CoreFoundation/CFPropertyList.h"

// The value of `key` in the domain, retained for the caller; null when there is none.
CFPropertyListRef CFPreferencesCopyAppValue(CFStringRef key, CFStringRef applicationID);

// Sets `key` in this process's copy of the domain; a null value removes the key. The change
// reaches the file at the next CFPreferencesAppSynchronize.
void CFPreferencesSetAppValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID);

// Writes this process's changes into the file (merged with what others wrote meanwhile) and
// reads the domain again. False when the domain cannot be named or the file cannot be written.
Boolean CFPreferencesAppSynchronize(CFStringRef applicationID);
