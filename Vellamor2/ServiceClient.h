#pragma once
// The apps' side of the audio service: the settings fetch (message 3) and the drawing task that
// fetches the history (message 2) and hands it, read in place, to the plot shown at that moment.
// Both block the main thread for at most the transport's time-outs.

#include <Foundation/Foundation.h>
#include <objc/StrongRef.h>

#include <cstdint>

#include "Vellamor2/Messaging/LMConnection.h"
#include "Vellamor2/SharedRecords.h"

namespace vellamor2 {

// A connection record with no port yet and the service's name; built at compile time, so it is
// in place before any load-time function runs.
constexpr LMConnection serviceConnection() {
  LMConnection record{};
  for (std::size_t i = 0; i < sizeof(kVellamorServiceIdentifier); ++i)
    record.name[i] = kVellamorServiceIdentifier[i];
  return record;
}

// Message 3: the settings dictionary replaces `preferences`. A failed exchange is never
// unarchived and, like a reply that is no archive, leaves no dictionary: no plot shows without
// settings.
void fetchPreferences(LMConnection& connection, const std::int32_t& blank,
                      StrongRef<NSDictionary>& preferences);

// One app's drawing: its connection, its 4-byte request body and its record's plot field.
struct SnapshotDrawing {
  LMConnection* connection;
  const std::int32_t* blank;
  StrongRef<NSObject>* plot;
};

// Posts the drawing task to the main queue. The task sends message 2; a whole history record in
// reply is drawn by whatever plot `drawing.plot` holds then, and released after the draw; a
// shorter reply (a failed exchange) draws nothing.
void postSnapshotDrawing(SnapshotDrawing& drawing);

}  // namespace vellamor2
