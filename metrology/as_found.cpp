#include "metrology/as_found.h"

#include <cmath>

#include "metrology/coverage.h"

namespace trimwell::metrology {

namespace {

bool check(const AsFoundInputs& in, std::string& problem) {
  return checkFinite(in.referenceValue, {}, "the reference value", problem) &&
         checkFinite(in.reading, {}, "the reading", problem) &&
         checkFinite(in.readingStep, {}, "the reading's step", problem) &&
         checkWindow(in.window, {}, "the stability window", problem) &&
         checkStandard(in.standard, in.referenceValue, {}, problem);
}

}  // namespace

bool evaluateAsFound(const AsFoundInputs& in, PointResult& result, std::string& problem) {
  if (!check(in, problem)) return false;
  PointResult out;
  out.referenceValue = in.referenceValue;
  out.reading = in.reading;
  auto& c = out.uncertainty.contributions;
  c.reserve(3);
  // E = R - Y: the reference enters with sensitivity -1.
  c.push_back({"reference standard", in.standard.expanded(in.referenceValue), in.standard.coverageFactor, -1.0,
              in.standard.degreesOfFreedom});
  // A single reading's spread, not the mean's: the result does not average the window.
  if (in.window.size() >= 2) c.push_back({"repeatability", experimentalDeviation(in.window), 1.0, 1.0,
                   static_cast<double>(in.window.size() - 1)});
  // A rectangle of full width q has u = q / sqrt(12) (JCGM 100, 4.3.7 and F.2.2.1).
  if (in.readingStep != 0.0) c.push_back({"resolution", std::abs(in.readingStep), std::sqrt(12.0), 1.0});
  setCoverageFactor(out.uncertainty);
  result = std::move(out);
  return true;
}

}  // namespace trimwell::metrology
