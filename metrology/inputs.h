#pragma once
// What the bench gives a result: the reference standard's certificate, and the
// spread of the stability window a reading closed. The checks here answer why an
// input cannot make a result, in words a lab reads.

#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "metrology/uncertainty_budget.h"

namespace trimwell::metrology {

// A reference standard's expanded uncertainty as its certificate states it:
// U = a + b * |value|, with coverage factor k.
struct ReferenceStandard {
  double a = 0.0;
  double b = 0.0;
  double coverageFactor = 2.0;
  // ν of the certificate's U, where it states one; else infinite.
  double degreesOfFreedom = std::numeric_limits<double>::infinity();
  double expanded(double value) const;
  bool operator==(const ReferenceStandard&) const = default;
};

// The experimental standard deviation s of the readings (JCGM 100, 4.2.2);
// 0 for fewer than two.
double experimentalDeviation(std::span<const double> readings);

// A reference value read from an instrument is one of its readings: the spread
// of its last readings (their s, with n - 1 degrees of freedom) is an input of
// its own, "reference repeatability", with sensitivity -1 as the reference's.
// Added to the budget, whose coverage factor is then worked out again, for two
// readings or more; false, the budget as it was, for one not finite.
bool addReferenceRepeatability(UncertaintyBudget& budget, std::span<const double> window, std::string& problem);

// The checks name what they refuse as "owner's what" ("point 1's raw value"), or
// `what` alone for no owner; the text is only built for a refusal, so a check
// that passes costs no allocation.
// False for a value that is not finite.
bool checkFinite(double value, std::string_view owner, std::string_view what, std::string& problem);
// False for a reading in the window that is not finite.
bool checkWindow(std::span<const double> window, std::string_view owner, std::string_view what,
                 std::string& problem);
// False for a certificate that cannot give u at the value: a, b or k not
// finite, k not positive, or U(value) not positive. Named "owner's reference
// standard", or "the reference standard" for no owner.
bool checkStandard(const ReferenceStandard& standard, double value, std::string_view owner, std::string& problem);

}  // namespace trimwell::metrology
