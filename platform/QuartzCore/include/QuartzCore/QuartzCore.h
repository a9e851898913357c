#pragma once
#include "CoreGraphics/CoreGraphics.h"
#include "QuartzCore/CADisplayLink.h"
#include "QuartzCore/CAGradientLayer.h"
#include "QuartzCore/CALayer.h"
#include "QuartzCore/CAShapeLayer.h"
#include "QuartzCore/CATextLayer.h"
