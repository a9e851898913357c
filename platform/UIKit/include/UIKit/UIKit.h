#pragma once
#include "CoreGraphics/CoreGraphics.h"
#include "QuartzCore/QuartzCore.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"
