#pragma once
// NSLog: one line with the time, the process name and pid, to stderr and to the device's log
// (run/log), so that tests read what every process of a device said. "%@" takes an object (its
// description; "(null)" for none); every other conversion is printf's.

void NSLog(const char* format, ...);
