#pragma once
#include "Foundation/NSBundle.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotificationCenter.h"
#include "Foundation/NSValues.h"
#include "objc/StrongRef.h"
#include "objc/message.h"
#include "objc/runtime.h"
