#pragma once
// A row's tolerance: the error a result may have, +/- T in the row's unit.

#include <string>

namespace trimwell::metrology {

struct Tolerance {
  enum class Kind {
    kNone,       // no tolerance: results state no verdict
    kOfReading,  // T = a + b % of |reading|
    kOfSpan,     // T = percentOfSpan % of the span |Pt2 Data - Pt1 Data|
  };
  Kind kind = Kind::kNone;
  double a = 0.0;              // in the row's unit
  double b = 0.0;              // % of the reading
  double percentOfSpan = 0.0;  // % of the span

  static Tolerance ofReading(double a, double bPercent) { return {Kind::kOfReading, a, bPercent, 0.0}; }
  static Tolerance ofSpan(double percent) { return {Kind::kOfSpan, 0.0, 0.0, percent}; }

  // T at a result: the reading counts for kOfReading, the span for kOfSpan.
  // Meaningful for a tolerance checkTolerance accepts.
  double limit(double reading, double span) const;
};

// False, with a reason naming the field ("a", "b", "% of span"), for a field
// the kind uses that is not finite or is negative.
bool checkTolerance(const Tolerance& tolerance, std::string& problem);

}  // namespace trimwell::metrology
