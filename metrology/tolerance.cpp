#include "metrology/tolerance.h"

#include <cmath>

namespace trimwell::metrology {

namespace {

bool checkField(double value, const char* field, std::string& problem) {
  if (!std::isfinite(value)) {
    problem = std::string("the tolerance's \"") + field + "\" is not a finite number";
    return false;
  }
  if (value < 0.0) {
    problem = std::string("the tolerance's \"") + field + "\" is negative";
    return false;
  }
  return true;
}

}  // namespace

bool Tolerance::hasRange() const { return !std::isnan(rangeLow) && !std::isnan(rangeHigh); }

double Tolerance::limit(double reading, double pointsSpan) const {
  switch (kind) {
    case Kind::kOfReading: return a + b / 100.0 * std::abs(reading);
    case Kind::kOfSpan: return percentOfSpan / 100.0 * (hasRange() ? rangeHigh - rangeLow : std::abs(pointsSpan));
    case Kind::kNone: break;
  }
  return 0.0;
}

bool checkTolerance(const Tolerance& tolerance, std::string& problem) {
  switch (tolerance.kind) {
    case Tolerance::Kind::kOfReading:
      return checkField(tolerance.a, "a", problem) && checkField(tolerance.b, "b", problem);
    case Tolerance::Kind::kOfSpan: {
      if (!checkField(tolerance.percentOfSpan, "% of span", problem)) return false;
      const bool low = std::isnan(tolerance.rangeLow), high = std::isnan(tolerance.rangeHigh);
      if (low && high) return true;  // of the points' span, as kept before the range
      if (low != high || !std::isfinite(tolerance.rangeLow) || !std::isfinite(tolerance.rangeHigh)) {
        problem = "the tolerance's calibrated range needs a finite lower and upper value";
        return false;
      }
      if (!(tolerance.rangeHigh > tolerance.rangeLow)) {
        problem = "the tolerance's calibrated range has its upper value not above its lower one";
        return false;
      }
      return true;
    }
    case Tolerance::Kind::kNone: break;
  }
  return true;
}

}  // namespace trimwell::metrology
