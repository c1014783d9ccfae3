#include "metrology/inputs.h"

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

bool checkFinite(double value, const char* what, std::string& problem) {
  if (std::isfinite(value)) return true;
  problem = std::string(what) + " is not a finite number";
  return false;
}

bool checkWindow(std::span<const double> window, const char* what, std::string& problem) {
  for (double r : window) {
    if (!std::isfinite(r)) {
      problem = std::string("a reading of ") + what + " is not a finite number";
      return false;
    }
  }
  return true;
}

bool checkStandard(const ReferenceStandard& standard, double value, const char* what, std::string& problem) {
  const std::string name(what);
  if (!checkFinite(standard.a, (name + "'s a").c_str(), problem) ||
      !checkFinite(standard.b, (name + "'s b").c_str(), problem) ||
      !checkFinite(standard.coverageFactor, (name + "'s coverage factor").c_str(), problem)) {
    return false;
  }
  if (standard.coverageFactor <= 0.0) {
    problem = name + "'s coverage factor is not positive";
    return false;
  }
  if (!(standard.expanded(value) > 0.0)) {
    problem = name + "'s expanded uncertainty is not positive at the reference value";
    return false;
  }
  return true;
}

}  // namespace trimwell::metrology
