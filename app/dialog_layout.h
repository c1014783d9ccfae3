#pragma once
// Every control of the calibration dialog with its kind and template caption.

#include <vector>

#include "platform/window_controls.h"

namespace trimwell {

const std::vector<ControlSpec>& dialogControls();

}  // namespace trimwell
