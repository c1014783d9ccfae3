#pragma once
// A calibration point's result worked out from what the station has at the
// bench: the reference value and the standard it came from, the unit's readings
// over the stability window, and the resolution the unit shows. The budget keeps
// each contribution with its source, so a certificate prints it as it is.

#include <vector>

#include "metrology/point_result.h"

namespace trimwell::metrology {

// A reference standard's expanded uncertainty as its certificate states it:
// U = a + b * |value|, with coverage factor k.
struct StandardUncertainty {
  double a = 0.0;
  double b = 0.0;
  double coverageFactor = 2.0;
  double at(double value) const;
};

struct PointInputs {
  double referenceValue = 0.0;
  StandardUncertainty standard;
  // The unit's readings at the point: their mean is the reading, the standard
  // deviation of that mean the repeatability (a Type A evaluation).
  std::vector<double> readings;
  // The smallest step the unit shows; half of it bounds a rectangle.
  double resolution = 0.0;
};

// False, with nothing filled in, for no readings or a value that is not finite.
// The budget: the reference standard (U / k), the repeatability (s / sqrt(n), from
// two readings on), the resolution (half-step / sqrt(3)); each with sensitivity 1,
// combined uncorrelated and expanded with k = 2.
bool evaluatePoint(const PointInputs& inputs, PointResult& result);

}  // namespace trimwell::metrology
