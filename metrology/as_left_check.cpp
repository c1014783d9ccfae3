#include "metrology/as_left_check.h"

#include <cmath>
#include <string_view>

namespace trimwell::metrology {

namespace {

bool checkPoint(const RawPoint& p, std::string_view name, std::string& problem) {
  return checkFinite(p.raw, name, "raw value", problem) && checkWindow(p.rawWindow, name, "raw window", problem) &&
         checkFinite(p.referenceValue, name, "reference value", problem) &&
         checkStandard(p.standard, p.referenceValue, name, problem);
}

bool check(const AsLeftInputs& in, std::string& problem) {
  if (!checkPoint(in.point1, "point 1", problem) || !checkPoint(in.point2, "point 2", problem) ||
      !checkPoint(in.check, "the check", problem) || !checkFinite(in.rawStep, {}, "the raw step", problem)) {
    return false;
  }
  if (in.point1.raw == in.point2.raw) {
    problem = "the line's two points have the same raw value";
    return false;
  }
  return true;
}

// The raw value's own share, as two inputs with the same sensitivity: the
// window's spread and the rectangle of one raw step.
void addRaw(std::vector<Contribution>& c, const RawPoint& p, const std::string& prefix, double sensitivity,
            double step) {
  if (p.rawWindow.size() >= 2) {
    c.push_back({prefix + "raw repeatability", experimentalDeviation(p.rawWindow), 1.0, sensitivity});
  }
  if (step != 0.0) c.push_back({prefix + "raw resolution", std::abs(step), std::sqrt(12.0), sensitivity});
}

}  // namespace

bool evaluateAsLeft(const AsLeftInputs& in, PointResult& result, std::string& problem) {
  if (!check(in, problem)) return false;
  const double x1 = in.point1.raw, x2 = in.point2.raw, x = in.check.raw;
  const double y1 = in.point1.referenceValue, y2 = in.point2.referenceValue;
  const double span = x2 - x1;
  const double m = (y2 - y1) / span;
  PointResult out;
  out.referenceValue = in.check.referenceValue;
  out.reading = y1 + m * (x - x1);
  auto& c = out.uncertainty.contributions;
  c.reserve(9);
  // The partial derivatives of R = [Y1 (x2 - x) + Y2 (x - x1)] / (x2 - x1) (JCGM 100, 5.1.3).
  c.push_back({"point 1 reference", in.point1.standard.expanded(y1), in.point1.standard.coverageFactor,
               (x2 - x) / span});
  c.push_back({"point 2 reference", in.point2.standard.expanded(y2), in.point2.standard.coverageFactor,
               (x - x1) / span});
  // One standard's error at the two values is taken as one systematic error,
  // fully correlated (JCGM 100, 5.2.2). Indices 0 and 1: pushed first.
  if (in.sameStandard) out.uncertainty.correlate(0, 1, 1.0);
  addRaw(c, in.point1, "point 1 ", m * (x - x2) / span, in.rawStep);
  addRaw(c, in.point2, "point 2 ", -m * (x - x1) / span, in.rawStep);
  addRaw(c, in.check, "", m, in.rawStep);
  c.push_back({"reference standard", in.check.standard.expanded(out.referenceValue),
               in.check.standard.coverageFactor, -1.0});
  result = std::move(out);
  return true;
}

}  // namespace trimwell::metrology
