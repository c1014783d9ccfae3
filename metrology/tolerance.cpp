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

double Tolerance::limit(double reading, double span) const {
  switch (kind) {
    case Kind::kOfReading: return a + b / 100.0 * std::abs(reading);
    case Kind::kOfSpan: return percentOfSpan / 100.0 * std::abs(span);
    case Kind::kNone: break;
  }
  return 0.0;
}

bool checkTolerance(const Tolerance& tolerance, std::string& problem) {
  switch (tolerance.kind) {
    case Tolerance::Kind::kOfReading:
      return checkField(tolerance.a, "a", problem) && checkField(tolerance.b, "b", problem);
    case Tolerance::Kind::kOfSpan: return checkField(tolerance.percentOfSpan, "% of span", problem);
    case Tolerance::Kind::kNone: break;
  }
  return true;
}

}  // namespace trimwell::metrology
