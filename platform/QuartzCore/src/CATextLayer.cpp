#include "QuartzCore/CATextLayer.h"

#include <cstring>

void CATextLayer::setAlignmentMode(CATextLayerAlignmentMode mode) {
  if (mode == nullptr) return;
  if (std::strcmp(mode, kCAAlignmentLeft) == 0) setDrawn(alignment_, Alignment::left);
  if (std::strcmp(mode, kCAAlignmentCenter) == 0) setDrawn(alignment_, Alignment::center);
  if (std::strcmp(mode, kCAAlignmentRight) == 0) setDrawn(alignment_, Alignment::right);
}
