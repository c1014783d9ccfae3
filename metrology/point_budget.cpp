#include "metrology/point_budget.h"

#include <cmath>
#include <numeric>

namespace trimwell::metrology {

double StandardUncertainty::at(double value) const { return a + b * std::abs(value); }

namespace {

bool allFinite(const PointInputs& in) {
  if (!std::isfinite(in.referenceValue) || !std::isfinite(in.resolution) || !std::isfinite(in.standard.a) ||
      !std::isfinite(in.standard.b) || !(in.standard.coverageFactor > 0.0)) {
    return false;
  }
  for (double r : in.readings) {
    if (!std::isfinite(r)) return false;
  }
  return true;
}

// The experimental standard deviation of the mean (JCGM 100, 4.2.3).
double deviationOfMean(const std::vector<double>& readings, double mean) {
  double sum = 0.0;
  for (double r : readings) sum += (r - mean) * (r - mean);
  const double n = static_cast<double>(readings.size());
  return std::sqrt(sum / (n - 1.0)) / std::sqrt(n);
}

}  // namespace

bool evaluatePoint(const PointInputs& in, PointResult& result) {
  if (in.readings.empty() || !allFinite(in)) return false;
  const double n = static_cast<double>(in.readings.size());
  const double mean = std::accumulate(in.readings.begin(), in.readings.end(), 0.0) / n;
  PointResult out;
  out.referenceValue = in.referenceValue;
  out.reading = mean;
  out.uncertainty.coverageFactor = 2.0;
  auto& c = out.uncertainty.contributions;
  c.push_back({"reference standard", in.standard.at(in.referenceValue), in.standard.coverageFactor, 1.0});
  if (in.readings.size() >= 2) c.push_back({"repeatability", deviationOfMean(in.readings, mean), 1.0, 1.0});
  if (in.resolution > 0.0) c.push_back({"resolution", in.resolution / 2.0, std::sqrt(3.0), 1.0});
  result = std::move(out);
  return true;
}

}  // namespace trimwell::metrology
