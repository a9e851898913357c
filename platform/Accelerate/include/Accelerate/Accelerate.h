#pragma once
#include "Accelerate/vDSP.h"
