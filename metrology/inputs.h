#pragma once
// What the bench gives a result: the reference standard's certificate, and the
// spread of the stability window a reading closed. The checks here answer why an
// input cannot make a result, in words a lab reads.

#include <span>
#include <string>

namespace trimwell::metrology {

// A reference standard's expanded uncertainty as its certificate states it:
// U = a + b * |value|, with coverage factor k.
struct ReferenceStandard {
  double a = 0.0;
  double b = 0.0;
  double coverageFactor = 2.0;
  double expanded(double value) const;
};

// The experimental standard deviation s of the readings (JCGM 100, 4.2.2);
// 0 for fewer than two.
double experimentalDeviation(std::span<const double> readings);

// False, with problem naming `what`, for a value that is not finite.
bool checkFinite(double value, const char* what, std::string& problem);
// False for a reading in the window that is not finite.
bool checkWindow(std::span<const double> window, const char* what, std::string& problem);
// False for a certificate that cannot give u at the value: a, b or k not
// finite, k not positive, or U(value) not positive.
bool checkStandard(const ReferenceStandard& standard, double value, const char* what, std::string& problem);

}  // namespace trimwell::metrology
