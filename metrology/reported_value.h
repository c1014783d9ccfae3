#pragma once
// A result's numbers as a certificate states them (ILAC P14, JCGM 100 7.2.6):
// U rounded up to two significant digits, and the reference value, reading,
// error and tolerance limit rounded to U's last decimal place, half to even.
// The rounding works on each double's shortest decimal form, so 0.016 stays
// 0.016 rather than becoming 0.017 through its binary neighbour. Verdicts are
// decided on the values unrounded; the record keeps every digit.

#include <string>

#include "metrology/point_result.h"

namespace trimwell::metrology {

// U rounded up to two significant digits: its text ("0.016") and the power of ten
// of its last digit (-3). A U of 0 or one not finite has no digits to keep.
struct RoundedUncertainty {
  std::string text;
  int lastPlace = 0;
  bool stated = false;
};
RoundedUncertainty roundUp(double expanded);

// The value rounded to the place 10^lastPlace, half to even, written with as
// many decimals as that place asks ("64.600", "-0.123"); never "-0".
std::string roundedTo(double value, int lastPlace);

// A value without a U to round it by: at most 10 significant digits.
std::string significantDigits(double value);

struct ReportedPoint {
  std::string referenceValue;
  std::string reading;
  std::string error;
  std::string limit;           // empty where no tolerance is stated
  std::string expanded;        // U; empty where the budget has none
  std::string coverageFactor;  // k to two decimals: "2.00", "2.32"
  std::string effectiveDegrees;  // ν_eff where k is not 2.00 to within 0.005, else empty
};
ReportedPoint reportPoint(const PointResult& result);

}  // namespace trimwell::metrology
