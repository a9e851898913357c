#pragma once
// The history record as the plots read it.

#include <cstdint>

#if __has_include("Vellamor2/SharedRecords.h")
#include "Vellamor2/SharedRecords.h"
#else
// Until the shared records header lands: the same layout.
struct serverDataStruct {
  float data[2][81920];
  int32_t numberBuffers;
  int32_t numberFrames;
  bool busy;
};
#endif

static_assert(sizeof(serverDataStruct) == 655372, "the history record is 655,372 bytes");
