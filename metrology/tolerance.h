#pragma once
// A row's tolerance: the error a result may have, +/- T in the row's unit.

#include <limits>
#include <string>

namespace trimwell::metrology {

struct Tolerance {
  enum class Kind {
    kNone,       // no tolerance: results state no verdict
    kOfReading,  // T = a + b % of |reading|
    kOfSpan,     // T = percentOfSpan % of the span
  };
  static constexpr double kNotGiven = std::numeric_limits<double>::quiet_NaN();
  Kind kind = Kind::kNone;
  double a = 0.0;              // in the row's unit
  double b = 0.0;              // % of the reading
  double percentOfSpan = 0.0;  // % of the span
  // The span is the model's calibrated range, from its lower to its upper value
  // in the row's unit, as labs and makers mean it. A tolerance kept before the
  // range could be given has none, and its span is the one between the row's two
  // calibration points (Pt2 Data less Pt1 Data), which is what it meant then.
  double rangeLow = kNotGiven;
  double rangeHigh = kNotGiven;

  static Tolerance ofReading(double a, double bPercent) { return {Kind::kOfReading, a, bPercent, 0.0}; }
  static Tolerance ofSpan(double percent, double low, double high) {
    return {Kind::kOfSpan, 0.0, 0.0, percent, low, high};
  }
  // The older kind, of the points' span.
  static Tolerance ofPointsSpan(double percent) { return {Kind::kOfSpan, 0.0, 0.0, percent}; }

  bool hasRange() const;
  // T at a result: the reading counts for kOfReading; for kOfSpan, the range's
  // span, or without a range the points' span given. Meaningful for a tolerance
  // checkTolerance accepts.
  double limit(double reading, double pointsSpan) const;
};

// False, with a reason naming the field ("a", "b", "% of span", the range), for
// a field the kind uses that is not finite or is negative, and for a range whose
// upper value is not above its lower one.
bool checkTolerance(const Tolerance& tolerance, std::string& problem);

}  // namespace trimwell::metrology
