#pragma once
// A result as the unit was found: its reading at a reference value, with the
// uncertainty of the error E = R - Y (JCGM 100, 4 and 5.1).

#include <span>
#include <string>

#include "metrology/inputs.h"
#include "metrology/point_result.h"

namespace trimwell::metrology {

struct AsFoundInputs {
  double referenceValue = 0.0;  // Y
  ReferenceStandard standard;   // the standard Y came from
  double reading = 0.0;         // R: the one reading the result uses
  // The stability window R closed (the station's last ten readings): their s is
  // the repeatability. Each reading is already a mean of the unit's samples and
  // the result uses one of them, so s is not divided by sqrt(n).
  std::span<const double> window;
  // The change of the reading for one step of the row's raw input through the
  // line in use: a rectangle of that width.
  double readingStep = 0.0;
};

// The budget: "reference standard" U(Y) / k with sensitivity -1, "repeatability"
// s (from two readings on), "resolution" |q| / sqrt(12) (for a step given);
// uncorrelated, expanded with k = 2. False with a reason, the result as it was,
// for a value that is not finite or a standard that cannot give u at Y.
bool evaluateAsFound(const AsFoundInputs& inputs, PointResult& result, std::string& problem);

}  // namespace trimwell::metrology
