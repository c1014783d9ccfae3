#pragma once
// A calibration point's result as a lab reports it: the reference value, the
// unit's reading, the error between them, the uncertainty of that error with the
// budget it comes from, and the verdict against a tolerance. Standard library
// only: the records, the window, the certificate and the scripts all read these
// one set of types, and none of them is needed to compute them.

#include <string>
#include <vector>

namespace trimwell::metrology {

// One input's share of the uncertainty: its standard uncertainty (value over
// divisor), how strongly the result depends on it, and what that makes.
struct Contribution {
  std::string source;        // "reference standard", "resolution", "repeatability", ...
  double value = 0.0;        // as stated: a half-width, an expanded uncertainty, a standard deviation
  double divisor = 1.0;      // to a standard uncertainty: 2 for U with k = 2, sqrt(3) for a rectangle
  double sensitivity = 1.0;  // the result's change per unit of this input
  double standard() const { return value / divisor; }
  double contribution() const;  // |sensitivity| x standard uncertainty
};

// The contributions, combined by the root sum of squares (uncorrelated inputs),
// and expanded with the coverage factor k.
struct UncertaintyBudget {
  std::vector<Contribution> contributions;
  double coverageFactor = 2.0;
  double combined() const;
  double expanded() const { return coverageFactor * combined(); }
};

// Whether the result lies within its tolerance, with the decision rule applied.
enum class Verdict {
  kNotStated,  // no tolerance given: no statement of conformity
  kPass,
  kFail,
};

struct PointResult {
  double referenceValue = 0.0;
  double reading = 0.0;
  UncertaintyBudget uncertainty;
  Verdict verdict = Verdict::kNotStated;
  double error() const { return reading - referenceValue; }
};

// Simple acceptance (the measured error alone against the tolerance, the
// uncertainty stated beside it): pass when |error| <= tolerance. A tolerance of
// zero or less, or not finite, states nothing.
Verdict simpleAcceptance(const PointResult& result, double tolerance);

const char* verdictName(Verdict verdict);

}  // namespace trimwell::metrology
