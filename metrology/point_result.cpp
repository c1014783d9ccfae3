#include "metrology/point_result.h"

#include <cmath>

namespace trimwell::metrology {

double Contribution::contribution() const { return std::abs(sensitivity) * standard(); }

double UncertaintyBudget::combined() const {
  double sumOfSquares = 0.0;
  for (const Contribution& c : contributions) sumOfSquares += c.contribution() * c.contribution();
  return std::sqrt(sumOfSquares);
}

Verdict simpleAcceptance(const PointResult& result, double tolerance) {
  if (!std::isfinite(tolerance) || tolerance <= 0.0 || !std::isfinite(result.error())) return Verdict::kNotStated;
  return std::abs(result.error()) <= tolerance ? Verdict::kPass : Verdict::kFail;
}

const char* verdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kPass: return "pass";
    case Verdict::kFail: return "fail";
    case Verdict::kNotStated: break;
  }
  return "no statement";
}

}  // namespace trimwell::metrology
