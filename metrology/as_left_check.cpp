#include "metrology/as_left_check.h"

#include <cmath>

#include "metrology/coverage.h"

namespace trimwell::metrology {

namespace {

bool check(const AsLeftInputs& in, std::string& problem) {
  return checkFinite(in.referenceValue, "the check", "reference value", problem) &&
         checkFinite(in.reading, "the check", "reading", problem) &&
         checkWindow(in.rawWindow, "the check", "raw window", problem) &&
         checkFinite(in.slope, {}, "the line's slope", problem) &&
         checkFinite(in.rawStep, {}, "the raw step", problem) &&
         checkStandard(in.standard, in.referenceValue, "the check", problem);
}

}  // namespace

bool evaluateAsLeft(const AsLeftInputs& in, PointResult& result, std::string& problem) {
  if (!check(in, problem)) return false;
  PointResult out;
  out.referenceValue = in.referenceValue;
  out.reading = in.reading;
  auto& c = out.uncertainty.contributions;
  c.reserve(3);
  // E = R - Y: the reference enters with sensitivity -1.
  c.push_back({"reference standard", in.standard.expanded(in.referenceValue), in.standard.coverageFactor, -1.0,
              in.standard.degreesOfFreedom});
  // The raw input's share reaches R through the line: c = m.
  if (in.rawWindow.size() >= 2) {
    c.push_back({"raw repeatability", experimentalDeviation(in.rawWindow), 1.0, in.slope,
                   static_cast<double>(in.rawWindow.size() - 1)});
  }
  // A rectangle of full width q has u = q / sqrt(12) (JCGM 100, 4.3.7 and F.2.2.1).
  if (in.rawStep != 0.0) c.push_back({"raw resolution", std::abs(in.rawStep), std::sqrt(12.0), in.slope});
  setCoverageFactor(out.uncertainty);
  result = std::move(out);
  return true;
}

}  // namespace trimwell::metrology
