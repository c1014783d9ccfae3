#include "app/row_trend.h"

#include <algorithm>
#include <cmath>

namespace trimwell {

void RowTrend::add(double reading) {
  history_.push_back(reading);
  if (history_.size() > kHistory) history_.pop_front();
}

double RowTrend::spread() const {
  if (history_.size() < kWindow) return INFINITY;
  const auto first = history_.end() - static_cast<std::ptrdiff_t>(kWindow);
  const auto [low, high] = std::minmax_element(first, history_.end());
  return *high - *low;
}

bool RowTrend::stable(double span) const {
  const double s = spread();
  return std::isfinite(s) && std::isfinite(span) && s <= kStableFraction * std::abs(span);
}

}  // namespace trimwell
