#include "metrology/point_result.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

namespace trimwell::metrology {
namespace {

struct BudgetCase {
  const char* name;
  std::vector<Contribution> contributions;
  double coverageFactor;
  double combined;
};

class Budget : public ::testing::TestWithParam<BudgetCase> {};

// Uncorrelated inputs combine as the root sum of squares of sensitivity times
// standard uncertainty (JCGM 100, 5.1.2); the expected values are worked out by
// hand from that formula.
TEST_P(Budget, CombinesAndExpands) {
  UncertaintyBudget budget{GetParam().contributions, GetParam().coverageFactor};
  EXPECT_NEAR(budget.combined(), GetParam().combined, 1e-12);
  EXPECT_NEAR(budget.expanded(), GetParam().coverageFactor * GetParam().combined, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Known, Budget,
    ::testing::Values(
        BudgetCase{"empty", {}, 2.0, 0.0},
        // A reference standard's certificate states U = 0.1 with k = 2: u = 0.05.
        BudgetCase{"certificate_only", {{"reference standard", 0.1, 2.0, 1.0}}, 2.0, 0.05},
        // 0.03 and 0.04 combine to 0.05; a sensitivity of -2 doubles the second.
        BudgetCase{"two_inputs", {{"a", 0.03, 1.0, 1.0}, {"b", 0.02, 1.0, -2.0}}, 2.0, 0.05},
        // A resolution of 0.01 as a rectangle of half-width 0.005: 0.005 / sqrt(3).
        BudgetCase{"rectangle", {{"resolution", 0.005, std::sqrt(3.0), 1.0}}, 1.0, 0.005 / std::sqrt(3.0)}),
    [](const auto& info) { return std::string(info.param.name); });

struct VerdictCase {
  const char* name;
  double reference;
  double reading;
  double tolerance;
  Verdict verdict;
};

class Acceptance : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(Acceptance, DecidesOnTheErrorAgainstTheTolerance) {
  PointResult result;
  result.referenceValue = GetParam().reference;
  result.reading = GetParam().reading;
  EXPECT_EQ(simpleAcceptance(result, GetParam().tolerance), GetParam().verdict);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, Acceptance,
    ::testing::Values(VerdictCase{"within", 100.0, 100.3, 0.5, Verdict::kPass},
                      VerdictCase{"on_the_limit", 100.0, 99.5, 0.5, Verdict::kPass},
                      VerdictCase{"below", 100.0, 99.4, 0.5, Verdict::kFail},
                      VerdictCase{"above", -20.0, -19.0, 0.5, Verdict::kFail},
                      VerdictCase{"no_tolerance", 100.0, 150.0, 0.0, Verdict::kNotStated},
                      VerdictCase{"tolerance_not_finite", 100.0, 150.0, NAN, Verdict::kNotStated},
                      VerdictCase{"reading_not_finite", 100.0, INFINITY, 0.5, Verdict::kNotStated}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PointResultTest, ErrorIsReadingLessReference) {
  PointResult result;
  result.referenceValue = 25.0;
  result.reading = 24.75;
  EXPECT_DOUBLE_EQ(result.error(), -0.25);
  EXPECT_STREQ(verdictName(Verdict::kFail), "fail");
}

}  // namespace
}  // namespace trimwell::metrology
