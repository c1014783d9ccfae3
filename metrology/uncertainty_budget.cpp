#include "metrology/uncertainty_budget.h"

#include <algorithm>
#include <cmath>

namespace trimwell::metrology {

namespace {

// The sum under the root of u_c, over scale^2. Contributions whose squares a
// double holds are summed as they are; past that (a U of 1e200, or of 1e-200)
// each c_i u_i is divided by the largest of them first, as std::hypot does, so
// the sum neither overflows to infinity nor underflows to zero. A pair naming a
// contribution the budget does not have adds nothing rather than reading past
// the list.
double scaleOf(const UncertaintyBudget& budget) {
  constexpr double kSquaresHeld = 1e150;
  double largest = 0.0;
  for (const Contribution& each : budget.contributions) largest = std::max(largest, std::abs(each.contribution()));
  if (largest == 0.0 || (largest <= kSquaresHeld && largest >= 1.0 / kSquaresHeld)) return 1.0;
  return largest;
}

double scaledVariance(const UncertaintyBudget& budget, double scale) {
  const auto& c = budget.contributions;
  if (!std::isfinite(scale)) return scale;
  double sum = 0.0;
  for (const Contribution& each : c) {
    const double v = each.contribution() / scale;
    sum += v * v;
  }
  for (const Correlation& r : budget.correlations) {
    if (r.first >= c.size() || r.second >= c.size()) continue;
    sum += 2.0 * r.coefficient * (c[r.first].contribution() / scale) * (c[r.second].contribution() / scale);
  }
  return std::max(sum, 0.0);
}

}  // namespace

double UncertaintyBudget::combined() const {
  const double scale = scaleOf(*this);
  return scale * std::sqrt(scaledVariance(*this, scale));
}

double UncertaintyBudget::share(std::size_t index) const {
  const double scale = scaleOf(*this);
  const double total = scaledVariance(*this, scale);
  if (index >= contributions.size() || !(total > 0.0) || !std::isfinite(total)) return 0.0;
  const double own = contributions[index].contribution() / scale;
  double part = own * own;
  for (const Correlation& r : correlations) {
    std::size_t other = contributions.size();
    if (r.first == index) other = r.second;
    if (r.second == index) other = r.first;
    if (other < contributions.size()) part += r.coefficient * own * (contributions[other].contribution() / scale);
  }
  return part / total;
}

bool UncertaintyBudget::correlate(std::size_t first, std::size_t second, double coefficient) {
  if (first >= contributions.size() || second >= contributions.size() || first == second) return false;
  if (!std::isfinite(coefficient) || std::abs(coefficient) > 1.0) return false;
  correlations.push_back({first, second, coefficient});
  return true;
}

}  // namespace trimwell::metrology
