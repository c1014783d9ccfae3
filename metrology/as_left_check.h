#pragma once
// A check of the unit as left: the reading at a raw value x comes from the new
// line through (x1, Y1) and (x2, Y2), R = Y1 + m (x - x1), m = (Y2 - Y1) / (x2 - x1),
// so the error E = R - Y carries the uncertainty of the points the line was
// drawn through as well as the check's own (JCGM 100, 5.1.3 and 5.2.2).

#include <span>
#include <string>

#include "metrology/inputs.h"
#include "metrology/point_result.h"

namespace trimwell::metrology {

// A point at the bench: the unit's raw value with the window it closed, and the
// reference value with the standard it came from.
struct RawPoint {
  double raw = 0.0;                   // x
  std::span<const double> rawWindow;  // the raw readings of the stability window: their s
  double referenceValue = 0.0;        // Y
  ReferenceStandard standard;
};

struct AsLeftInputs {
  RawPoint point1;  // (x1, Y1) of the line
  RawPoint point2;  // (x2, Y2) of the line
  // Y1 and Y2 from the same standard: their errors move together, r = 1.
  bool sameStandard = true;
  RawPoint check;        // (x, Y) of the check
  double rawStep = 0.0;  // one step of the raw input: the resolution of x1, x2 and x
};

// The budget, each with its sensitivity on E: "point 1 reference" and "point 2
// reference" (U/k; c_Y1 = (x2 - x)/(x2 - x1), c_Y2 = (x - x1)/(x2 - x1),
// correlated with r = 1 for the same standard), "point 1 raw repeatability" and
// "point 1 raw resolution" (s and step / sqrt(12); c_x1 = m (x - x2)/(x2 - x1)),
// the same for point 2 (c_x2 = -m (x - x1)/(x2 - x1)), "raw repeatability" and
// "raw resolution" of the check (c_x = m), "reference standard" of the check
// (c = -1). A spread of fewer than two readings or a step of 0 leaves its
// contribution out. False with a reason, the result as it was, for a value not
// finite, a standard that cannot give u at its value, or x1 == x2.
bool evaluateAsLeft(const AsLeftInputs& inputs, PointResult& result, std::string& problem);

}  // namespace trimwell::metrology
