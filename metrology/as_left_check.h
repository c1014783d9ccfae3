#pragma once
// A check of the unit as left: after an adjustment the unit is calibrated again
// (VIM 3.11, Note 3), and the check is a calibration result of its own. The line
// written into the sensor is a set of exact constants, so the reading R at a raw
// value x is R = Y1 + m (x - x1) with nothing uncertain in Y1, x1 or m; the
// error E = R - Y carries the check's reference standard, the spread of the
// check's raw readings and the raw resolution, both through the slope m. How
// good the adjustment's points were is what the check measures: it adds nothing
// to the uncertainty of what it measured.

#include <span>
#include <string>

#include "metrology/inputs.h"
#include "metrology/point_result.h"

namespace trimwell::metrology {

struct AsLeftInputs {
  double referenceValue = 0.0;  // Y: the check's reference value
  ReferenceStandard standard;   // the standard Y came from
  double reading = 0.0;         // R: the row's reading through the line the sensor holds
  // The raw readings of the check's stability window: their s is the single
  // reading's repeatability, with n - 1 degrees of freedom.
  std::span<const double> rawWindow;
  double slope = 0.0;    // m: the line's change of reading per unit of raw input
  double rawStep = 0.0;  // one step of the raw input
};

// The budget: "reference standard" U(Y) / k with sensitivity -1, "raw
// repeatability" s (from two readings on) and "raw resolution" step / sqrt(12)
// (for a step given), each with sensitivity m; uncorrelated, expanded with k = 2.
// False with a reason, the result as it was, for a value not finite or a
// standard that cannot give u at its value.
bool evaluateAsLeft(const AsLeftInputs& inputs, PointResult& result, std::string& problem);

}  // namespace trimwell::metrology
