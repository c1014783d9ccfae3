#include "metrology/inputs.h"

#include "metrology/coverage.h"

#include <cmath>

namespace trimwell::metrology {

double ReferenceStandard::expanded(double value) const { return a + b * std::abs(value); }

double experimentalDeviation(std::span<const double> readings) {
  if (readings.size() < 2) return 0.0;
  double mean = 0.0;
  for (double r : readings) mean += r;
  mean /= static_cast<double>(readings.size());
  double sum = 0.0;
  for (double r : readings) sum += (r - mean) * (r - mean);
  return std::sqrt(sum / static_cast<double>(readings.size() - 1));
}

namespace {

std::string named(std::string_view owner, std::string_view what) {
  std::string name(owner);
  if (!name.empty()) name += "'s ";
  name += what;
  return name;
}

}  // namespace

bool checkFinite(double value, std::string_view owner, std::string_view what, std::string& problem) {
  if (std::isfinite(value)) return true;
  problem = named(owner, what) + " is not a finite number";
  return false;
}

bool checkWindow(std::span<const double> window, std::string_view owner, std::string_view what,
                 std::string& problem) {
  for (double r : window) {
    if (!std::isfinite(r)) {
      problem = "a reading of " + named(owner, what) + " is not a finite number";
      return false;
    }
  }
  return true;
}

bool checkStandard(const ReferenceStandard& standard, double value, std::string_view owner, std::string& problem) {
  const std::string_view what = owner.empty() ? "the reference standard" : "reference standard";
  const char* fault = nullptr;
  if (!std::isfinite(standard.a)) fault = "'s a is not a finite number";
  else if (!std::isfinite(standard.b)) fault = "'s b is not a finite number";
  else if (!std::isfinite(standard.coverageFactor)) fault = "'s coverage factor is not a finite number";
  else if (standard.coverageFactor <= 0.0) fault = "'s coverage factor is not positive";
  else if (!(standard.degreesOfFreedom >= 1.0)) fault = "'s degrees of freedom are not 1 or more";
  else if (!(standard.expanded(value) > 0.0)) fault = "'s expanded uncertainty is not positive at its value";
  if (fault == nullptr) return true;
  problem = named(owner, what) + fault;
  return false;
}

bool addReferenceRepeatability(UncertaintyBudget& budget, std::span<const double> window, std::string& problem) {
  if (!checkWindow(window, {}, "the reference instrument's readings", problem)) return false;
  if (window.size() < 2) return true;
  budget.contributions.push_back(
      {"reference repeatability", experimentalDeviation(window), 1.0, -1.0, static_cast<double>(window.size() - 1)});
  setCoverageFactor(budget);
  return true;
}

}  // namespace trimwell::metrology
