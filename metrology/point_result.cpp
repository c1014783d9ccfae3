#include "metrology/point_result.h"

#include <cmath>

namespace trimwell::metrology {

bool judge(PointResult& result, const Tolerance& tolerance, DecisionRule rule, double span, std::string& problem) {
  if (!checkTolerance(tolerance, problem)) return false;
  if (tolerance.kind == Tolerance::Kind::kOfSpan && !tolerance.hasRange() && !(std::isfinite(span) && span > 0.0)) {
    problem = "the row's span is not a positive finite number";
    return false;
  }
  result.rule = rule;
  if (tolerance.kind == Tolerance::Kind::kNone) {
    result.limit.reset();
    result.verdict = Verdict::kNotStated;
    return true;
  }
  result.limit = tolerance.limit(result.reading, span);
  result.verdict = decide(rule, result.error(), *result.limit, result.uncertainty.expanded());
  return true;
}

Verdict worstVerdict(std::span<const PointResult> results) {
  Verdict worst = Verdict::kNotStated;
  for (const PointResult& r : results) worst = worse(worst, r.verdict);
  return worst;
}

}  // namespace trimwell::metrology
