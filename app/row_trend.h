#pragma once
// A row's readings over the last minute, and whether they have settled: stable when
// the spread of the last ten readings is below a fraction of the row's span (the
// distance between its two reference values, or the reading's size without them).

#include <cstddef>
#include <deque>

namespace trimwell {

class RowTrend {
 public:
  static constexpr std::size_t kHistory = 120;  // 60 s of 500 ms ticks
  static constexpr std::size_t kWindow = 10;
  static constexpr double kStableFraction = 0.002;

  void add(double reading);
  void clear() { history_.clear(); }
  // False until kWindow readings are there, and for a non-finite reading among them.
  bool stable(double span) const;
  // The spread (highest less lowest) of the last kWindow readings.
  double spread() const;
  const std::deque<double>& history() const { return history_; }

 private:
  std::deque<double> history_;
};

}  // namespace trimwell
