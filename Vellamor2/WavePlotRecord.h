#pragma once
// The history record as the plots read it (serverDataStruct of the shared records).

#include "Vellamor2/SharedRecords.h"
