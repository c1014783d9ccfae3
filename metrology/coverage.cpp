#include "metrology/coverage.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace trimwell::metrology {
namespace {

constexpr double kLargeDegrees = 1e4;

// The regularised incomplete beta function I_x(a, b), by its continued fraction
// (modified Lentz), taken on the side of x where it converges quickly.
double continuedFraction(double a, double b, double x) {
  constexpr double kTiny = 1e-300;
  constexpr int kSteps = 500;
  double c = 1.0;
  double d = 1.0 - (a + b) * x / (a + 1.0);
  d = 1.0 / (std::abs(d) < kTiny ? kTiny : d);
  double f = d;
  for (int m = 1; m <= kSteps; ++m) {
    for (const bool even : {true, false}) {
      const double numerator = even ? m * (b - m) * x / ((a + 2.0 * m - 1.0) * (a + 2.0 * m))
                                    : -(a + m) * (a + b + m) * x / ((a + 2.0 * m) * (a + 2.0 * m + 1.0));
      d = 1.0 + numerator * d;
      d = 1.0 / (std::abs(d) < kTiny ? kTiny : d);
      c = 1.0 + numerator / c;
      if (std::abs(c) < kTiny) c = kTiny;
      const double step = c * d;
      f *= step;
      if (!even && std::abs(step - 1.0) < 1e-15) return f;
    }
  }
  return f;
}

double incompleteBeta(double a, double b, double x) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * continuedFraction(a, b, x) / a;
  return 1.0 - front * continuedFraction(b, a, 1.0 - x) / b;
}

// P(|T| > t) for Student's t with ν degrees of freedom.
double twoSidedTail(double t, double nu) { return incompleteBeta(nu / 2.0, 0.5, nu / (nu + t * t)); }

// Inputs joined by a correlation of ±1, by the index of the group each is in.
std::vector<std::size_t> fullyCorrelatedGroups(const UncertaintyBudget& budget) {
  std::vector<std::size_t> group(budget.contributions.size());
  std::iota(group.begin(), group.end(), std::size_t{0});
  const auto root = [&](std::size_t i) {
    while (group[i] != i) i = group[i];
    return i;
  };
  for (const Correlation& r : budget.correlations) {
    if (r.first >= group.size() || r.second >= group.size() || std::abs(r.coefficient) != 1.0) continue;
    group[root(r.second)] = root(r.first);
  }
  for (std::size_t i = 0; i < group.size(); ++i) group[i] = root(i);
  return group;
}

}  // namespace

double effectiveDegreesOfFreedom(const UncertaintyBudget& budget) {
  const double uc = budget.combined();
  if (!(uc > 0.0) || !std::isfinite(uc)) return kInfiniteDegrees;
  const auto& c = budget.contributions;
  const std::vector<std::size_t> group = fullyCorrelatedGroups(budget);
  std::vector<double> variance(c.size(), 0.0), degrees(c.size(), kInfiniteDegrees);
  for (std::size_t i = 0; i < c.size(); ++i) {
    const double u = c[i].contribution() / uc;
    variance[group[i]] += u * u;
    degrees[group[i]] = std::min(degrees[group[i]], c[i].degreesOfFreedom);
  }
  for (const Correlation& r : budget.correlations) {
    if (r.first >= c.size() || r.second >= c.size() || group[r.first] != group[r.second]) continue;
    const double cross = (c[r.first].contribution() / uc) * (c[r.second].contribution() / uc);
    variance[group[r.first]] += 2.0 * r.coefficient * cross;
  }
  // Over u_c^4, which is 1 in these units: each part is its share of the variance, squared.
  double sum = 0.0;
  for (std::size_t g = 0; g < c.size(); ++g) {
    if (std::isfinite(degrees[g]) && degrees[g] > 0.0) sum += variance[g] * variance[g] / degrees[g];
  }
  return sum > 0.0 ? 1.0 / sum : kInfiniteDegrees;
}

double coverageFactorFor(double degreesOfFreedom) {
  if (std::isnan(degreesOfFreedom)) return degreesOfFreedom;
  if (std::isinf(degreesOfFreedom)) return 2.0;
  const double nu = std::max(1.0, std::floor(degreesOfFreedom));
  // Past this ν/(ν + t^2) rounds to 1 in a double: the expansion of t in 1/ν
  // (Abramowitz and Stegun 26.7.5) is exact to far below a digit printed there.
  if (nu > kLargeDegrees) {
    constexpr double z = 2.0;
    return z + (z * z * z + z) / (4.0 * nu) + (5 * std::pow(z, 5) + 16 * z * z * z + 3 * z) / (96.0 * nu * nu);
  }
  double low = 0.0, high = 1e4;
  // The tail falls as t grows: halve the interval until it is a double's width.
  for (int step = 0; step < 200 && high - low > 1e-12 * high; ++step) {
    const double mid = (low + high) / 2.0;
    if (twoSidedTail(mid, nu) > 1.0 - kCoverageProbability) {
      low = mid;
    } else {
      high = mid;
    }
  }
  return (low + high) / 2.0;
}

void setCoverageFactor(UncertaintyBudget& budget) {
  budget.coverageFactor = coverageFactorFor(effectiveDegreesOfFreedom(budget));
}

}  // namespace trimwell::metrology
