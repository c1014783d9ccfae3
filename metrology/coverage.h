#pragma once
// The coverage factor for about 95 % (JCGM 100, Annex G): the effective degrees
// of freedom of a budget by the Welch-Satterthwaite formula (G.4.1), and k as
// Student's t for a coverage probability of 95.45 % at their whole number (G.3,
// G.4.2). With every input's degrees of freedom infinite, k is 2.

#include <limits>

#include "metrology/uncertainty_budget.h"

namespace trimwell::metrology {

// The coverage probability k = 2 gives a normal result: erf(sqrt 2), "95.45 %".
inline constexpr double kCoverageProbability = 0.954499736103642;
inline constexpr double kInfiniteDegrees = std::numeric_limits<double>::infinity();

// ν_eff = u_c^4 / Σ (c_i u_i)^4 / ν_i. Inputs correlated fully (r = ±1, such as
// the two points' references of one standard) are one input here, with the
// fewest degrees of freedom of its members. Infinite when every input's are, or
// u_c is 0.
double effectiveDegreesOfFreedom(const UncertaintyBudget& budget);

// t such that P(|T| <= t) = kCoverageProbability for Student's t with ⌊ν⌋
// degrees of freedom (at least 1); 2 for infinite ν. NaN for a ν that is NaN.
double coverageFactorFor(double degreesOfFreedom);

// Sets the budget's k from its effective degrees of freedom.
void setCoverageFactor(UncertaintyBudget& budget);

}  // namespace trimwell::metrology
