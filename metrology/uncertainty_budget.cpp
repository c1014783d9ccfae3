#include "metrology/uncertainty_budget.h"

#include <algorithm>
#include <cmath>

namespace trimwell::metrology {

namespace {

// The sum under the root of u_c; a pair naming a contribution the budget does
// not have adds nothing rather than reading past the list.
double variance(const UncertaintyBudget& budget) {
  const auto& c = budget.contributions;
  double sum = 0.0;
  for (const Contribution& each : c) sum += each.contribution() * each.contribution();
  for (const Correlation& r : budget.correlations) {
    if (r.first >= c.size() || r.second >= c.size()) continue;
    sum += 2.0 * r.coefficient * c[r.first].contribution() * c[r.second].contribution();
  }
  return std::max(sum, 0.0);
}

}  // namespace

double UncertaintyBudget::combined() const { return std::sqrt(variance(*this)); }

double UncertaintyBudget::share(std::size_t index) const {
  const double total = variance(*this);
  if (index >= contributions.size() || total <= 0.0) return 0.0;
  const double own = contributions[index].contribution();
  double part = own * own;
  for (const Correlation& r : correlations) {
    std::size_t other = contributions.size();
    if (r.first == index) other = r.second;
    if (r.second == index) other = r.first;
    if (other < contributions.size()) part += r.coefficient * own * contributions[other].contribution();
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
