// MediaServerHooks: the capture of rendered audio in the audio daemon.

#include <Foundation/Foundation.h>

#include "Vellamor2/Startup.h"

namespace MediaServerHooks {

// ---- Start-up ----------------------------------------------------------------------------------

void initialize() {
  if (!vellamor2::isHost("com.apple.mediaserverd")) return;
  vellamor2::logHooked();
}

}  // namespace MediaServerHooks
