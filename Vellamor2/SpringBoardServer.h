#pragma once
// SpringBoardServer: the history of the last twenty audio packets, the settings manager, and the
// service that answers for both.

#include <cstddef>
#include <cstdint>

#include <CoreFoundation/CFMachPort.h>

#include "Vellamor2/SettingsManager.h"
#include "Vellamor2/WavePlotRecord.h"

// Process-lifetime records of SpringBoard, zero at load.
extern serverDataStruct ServerData;
extern StrongRef<SettingsManager> sManager;

// The service's run-loop callback: message 1 is merged and acknowledged, 2 answered with the
// history, 3 with the keyed archive of the settings; any other id is logged and not answered.
void handle_message(CFMachPortRef port, void* message, CFIndex size, void* info);

namespace SpringBoardServer {

// The service start of the launch hook: busy cleared, service registered, settings manager made.
void startService();

// Message 1's merge: shifts each carried channel's history left by one packet of the packet's
// frame count and appends the packet's samples. Only a body that holds a whole packet with 1 or 2
// channels and 1 to 4,096 frames is merged; anything else leaves the history as it was (and is
// still acknowledged by the caller). True when merged.
bool mergePacket(const void* body, std::size_t length);

}  // namespace SpringBoardServer
