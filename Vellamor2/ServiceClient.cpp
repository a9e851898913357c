#include "Vellamor2/ServiceClient.h"

#include <Foundation/NSKeyedArchiver.h>
#include <dispatch/dispatch.h>

namespace vellamor2 {
namespace {

void drawFromSnapshot(void* context) {
  auto& drawing = *static_cast<SnapshotDrawing*>(context);
  LMResponseBuffer buffer{};  // a failed exchange may leave it unwritten: it then reads as empty
  LMConnectionSendTwoWay(drawing.connection, kHistorySnapshotMessageId, drawing.blank,
                         sizeof *drawing.blank, &buffer);
  if (LMMessageGetDataLength(&buffer.message) >= sizeof(serverDataStruct)) {
    if (id plot = drawing.plot->get())
      msgSend<void>(plot, "updateDataAndDraw:", LMMessageGetData(&buffer.message));
  }
  LMResponseBufferFree(&buffer);
}

}  // namespace

void fetchPreferences(LMConnection& connection, const std::int32_t& blank,
                      StrongRef<NSDictionary>& preferences) {
  LMResponseBuffer buffer{};  // a failed exchange may leave it unwritten: it then reads as empty
  StrongRef<NSObject> settings;
  if (LMConnectionSendTwoWay(&connection, kPreferencesMessageId, &blank, sizeof blank, &buffer) ==
      KERN_SUCCESS) {
    auto body = NSData::dataWithBytesNoCopy(const_cast<void*>(LMMessageGetData(&buffer.message)),
                                            LMMessageGetDataLength(&buffer.message), false);
    settings = NSKeyedUnarchiver::unarchiveObjectWithData(body.get());
  }
  preferences = objc::cast<NSDictionary>(settings.get());
  LMResponseBufferFree(&buffer);
}

void postSnapshotDrawing(SnapshotDrawing& drawing) {
  dispatch_async_f(dispatch_get_main_queue(), &drawing, &drawFromSnapshot);
}

}  // namespace vellamor2
