#include <cmath>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "metrology/point_result.h"

namespace trimwell::metrology {
namespace {

using V = Verdict;

struct RuleCase {
  const char* name;
  DecisionRule rule;
  double error;
  Verdict verdict;
};
void PrintTo(const RuleCase& c, std::ostream* os) { *os << c.name; }

class Decision : public ::testing::TestWithParam<RuleCase> {};

// T = 0.5 and U = 0.125 are exact in binary: T - U = 0.375 and T + U = 0.625 are
// the bounds themselves, not roundings of them.
TEST_P(Decision, AroundTheBounds) {
  EXPECT_EQ(decide(GetParam().rule, GetParam().error, 0.5, 0.125), GetParam().verdict);
}

constexpr auto kS = DecisionRule::kSimple;
constexpr auto kG = DecisionRule::kGuarded;
constexpr auto kN = DecisionRule::kNonBinary;

INSTANTIATE_TEST_SUITE_P(
    Rules, Decision,
    ::testing::Values(RuleCase{"simple_inside_guard", kS, 0.4, V::kPass}, RuleCase{"simple_at_T", kS, -0.5, V::kPass},
                      RuleCase{"simple_past_T", kS, 0.5001, V::kFail}, RuleCase{"guarded_at_T_U", kG, 0.375, V::kPass},
                      RuleCase{"guarded_past_T_U", kG, -0.3751, V::kFail},
                      RuleCase{"guarded_at_T", kG, 0.5, V::kFail},
                      RuleCase{"nonbinary_zero", kN, 0.0, V::kPass},
                      RuleCase{"nonbinary_at_T_U", kN, -0.375, V::kPass},
                      RuleCase{"nonbinary_past_T_U", kN, 0.3751, V::kConditionalPass},
                      RuleCase{"nonbinary_at_T", kN, 0.5, V::kConditionalPass},
                      RuleCase{"nonbinary_past_T", kN, -0.5001, V::kConditionalFail},
                      RuleCase{"nonbinary_at_T_plus_U", kN, 0.625, V::kConditionalFail},
                      RuleCase{"nonbinary_past_T_plus_U", kN, 0.6251, V::kFail},
                      RuleCase{"error_not_finite", kN, NAN, V::kNotStated}),
    [](const auto& info) { return std::string(info.param.name); });

// Simple acceptance compares E with T alone: a U it cannot state (not finite)
// leaves its verdict stated; the rules that take U into account state nothing.
TEST(Decision, OnlySimpleAcceptanceDecidesWithoutU) {
  EXPECT_EQ(decide(kS, 1.0, 0.5, INFINITY), V::kFail);
  EXPECT_EQ(decide(kS, 0.25, 0.5, NAN), V::kPass);
  EXPECT_EQ(decide(kG, 0.25, 0.5, INFINITY), V::kNotStated);
  EXPECT_EQ(decide(kN, 0.25, 0.5, NAN), V::kNotStated);
}

// An uncertainty larger than the tolerance leaves guarded acceptance no zone.
TEST(Decision, GuardLargerThanTheToleranceFailsEvenNoError) {
  EXPECT_EQ(decide(kG, 0.0, 0.1, 0.2), V::kFail);
}

struct ToleranceCase {
  const char* name;
  Tolerance tolerance;
  double span;
  double limit;
  Verdict verdict;
};
void PrintTo(const ToleranceCase& c, std::ostream* os) { *os << c.name; }

class Judged : public ::testing::TestWithParam<ToleranceCase> {};

// A result reading -200.4 at -200 (E = -0.4, U = 0.1) judged by the non-binary rule.
TEST_P(Judged, LimitAtTheReadingOrTheSpan) {
  PointResult r;
  r.referenceValue = -200.0;
  r.reading = -200.4;
  r.uncertainty.contributions = {{"reference standard", 0.1, 2.0, 1.0}};
  std::string problem;
  ASSERT_TRUE(judge(r, GetParam().tolerance, kN, GetParam().span, problem)) << problem;
  ASSERT_TRUE(r.limit.has_value());
  EXPECT_NEAR(*r.limit, GetParam().limit, 1e-12);
  EXPECT_EQ(r.verdict, GetParam().verdict);
  EXPECT_EQ(r.rule, kN);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, Judged,
    ::testing::Values(
        // 0.1 + 0.2 % of |-200.4| = 0.5008: |E| <= T - U = 0.4008
        ToleranceCase{"a_plus_b_percent_of_reading", Tolerance::ofReading(0.1, 0.2), NAN, 0.5008, V::kPass},
        // T - U = 0.35 < |E| <= T
        ToleranceCase{"a_alone", Tolerance::ofReading(0.45, 0.0), NAN, 0.45, V::kConditionalPass},
        // 0.2 % of a span of 160 = 0.32 < |E| <= T + U = 0.42
        ToleranceCase{"percent_of_points_span", Tolerance::ofPointsSpan(0.2), 160.0, 0.32, V::kConditionalFail},
        // 0.2 % of the range -50 to 250 = 0.6, whatever the points (even none): |E| <= T - U
        ToleranceCase{"percent_of_range", Tolerance::ofSpan(0.2, -50.0, 250.0), NAN, 0.6, V::kPass}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Judged, NoToleranceStatesNothing) {
  PointResult r;
  r.reading = 5.0;
  r.limit = 1.0;
  r.verdict = V::kFail;
  std::string problem;
  ASSERT_TRUE(judge(r, Tolerance{}, kS, 0.0, problem));
  EXPECT_FALSE(r.limit.has_value());
  EXPECT_EQ(r.verdict, V::kNotStated);
}

struct WorstCase {
  const char* name;
  std::vector<Verdict> verdicts;
  Verdict worst;
};
void PrintTo(const WorstCase& c, std::ostream* os) { *os << c.name; }

class Worst : public ::testing::TestWithParam<WorstCase> {};

TEST_P(Worst, OfTheResults) {
  EXPECT_EQ(worstVerdict(std::span<const Verdict>(GetParam().verdicts)), GetParam().worst);
  std::vector<PointResult> row(GetParam().verdicts.size());
  for (std::size_t i = 0; i < row.size(); ++i) row[i].verdict = GetParam().verdicts[i];
  EXPECT_EQ(worstVerdict(std::span<const PointResult>(row)), GetParam().worst);
}

INSTANTIATE_TEST_SUITE_P(
    Aggregation, Worst,
    ::testing::Values(WorstCase{"nothing", {}, V::kNotStated},
                      WorstCase{"none_stated", {V::kNotStated, V::kNotStated}, V::kNotStated},
                      WorstCase{"stated_beats_not_stated", {V::kNotStated, V::kPass}, V::kPass},
                      WorstCase{"conditional_pass", {V::kPass, V::kConditionalPass, V::kNotStated},
                                V::kConditionalPass},
                      WorstCase{"conditional_fail", {V::kConditionalFail, V::kConditionalPass, V::kPass},
                                V::kConditionalFail},
                      WorstCase{"fail", {V::kPass, V::kFail, V::kConditionalFail}, V::kFail}),
    [](const auto& info) { return std::string(info.param.name); });

// The names are what records and scripts keep: they must not drift.
TEST(Names, AreStableAndReadBack) {
  const std::vector<std::pair<DecisionRule, std::string>> rules{
      {kS, "simple"}, {kG, "guarded"}, {kN, "non-binary"}};
  for (const auto& [rule, name] : rules) {
    EXPECT_EQ(ruleName(rule), name);
    DecisionRule read = rule == kS ? kG : kS;
    EXPECT_TRUE(parseDecisionRule(name, read));
    EXPECT_EQ(read, rule);
  }
  const std::vector<std::pair<Verdict, std::string>> verdicts{{V::kNotStated, "not stated"},
                                                              {V::kPass, "pass"},
                                                              {V::kConditionalPass, "conditional pass"},
                                                              {V::kConditionalFail, "conditional fail"},
                                                              {V::kFail, "fail"}};
  for (const auto& [verdict, name] : verdicts) {
    EXPECT_EQ(verdictName(verdict), name);
    Verdict read = verdict == V::kPass ? V::kFail : V::kPass;
    EXPECT_TRUE(parseVerdict(name, read));
    EXPECT_EQ(read, verdict);
  }
  DecisionRule rule = kG;
  EXPECT_FALSE(parseDecisionRule("Guarded", rule));
  EXPECT_EQ(rule, kG);
}

}  // namespace
}  // namespace trimwell::metrology
