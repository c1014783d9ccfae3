#include <array>
#include <cmath>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "metrology/as_found.h"
#include "metrology/as_left_check.h"
#include "metrology/standard_entry.h"

namespace trimwell::metrology {
namespace {

const std::array<double, 3> kWindow{9.9, 10.0, 10.1};
const std::array<double, 3> kSpoiledWindow{9.9, NAN, 10.1};

// Each case spoils one input of inputs that are otherwise accepted, and says a
// word the reason must hold, so a refusal points at what was wrong.
template <typename Inputs>
struct Refusal {
  const char* name;
  void (*spoil)(Inputs&);
  const char* mentions;
};

template <typename Inputs>
void PrintTo(const Refusal<Inputs>& c, std::ostream* os) {
  *os << c.name;
}

template <typename Inputs>
std::string caseName(const ::testing::TestParamInfo<Refusal<Inputs>>& info) {
  return info.param.name;
}

// The result must stay as it was: a refused input fills nothing in.
template <typename Inputs, typename Evaluate>
void expectRefused(Inputs in, const Refusal<Inputs>& c, Evaluate evaluate) {
  PointResult result;
  std::string problem;
  ASSERT_TRUE(evaluate(in, result, problem)) << "the unspoiled inputs: " << problem;
  c.spoil(in);
  result = PointResult{};
  result.reading = 42.0;
  EXPECT_FALSE(evaluate(in, result, problem));
  EXPECT_NE(problem.find(c.mentions), std::string::npos) << problem;
  EXPECT_EQ(result.reading, 42.0);
  EXPECT_TRUE(result.uncertainty.contributions.empty());
}

using AsFoundRefusal = Refusal<AsFoundInputs>;
class AsFoundRefuses : public ::testing::TestWithParam<AsFoundRefusal> {};

TEST_P(AsFoundRefuses, WithAReason) {
  expectRefused(AsFoundInputs{10.0, {0.01, 0.0, 2.0}, 10.0, kWindow, 0.01}, GetParam(), evaluateAsFound);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, AsFoundRefuses,
    ::testing::Values(AsFoundRefusal{"reference", [](AsFoundInputs& in) { in.referenceValue = NAN; }, "reference value"},
                      AsFoundRefusal{"reading", [](AsFoundInputs& in) { in.reading = INFINITY; }, "reading"},
                      AsFoundRefusal{"window", [](AsFoundInputs& in) { in.window = kSpoiledWindow; }, "window"},
                      AsFoundRefusal{"step", [](AsFoundInputs& in) { in.readingStep = NAN; }, "step"},
                      AsFoundRefusal{"k_zero", [](AsFoundInputs& in) { in.standard.coverageFactor = 0.0; },
                                     "coverage factor"},
                      AsFoundRefusal{"U_zero", [](AsFoundInputs& in) { in.standard.a = 0.0; }, "expanded"},
                      AsFoundRefusal{"U_negative", [](AsFoundInputs& in) { in.standard.b = -0.01; }, "expanded"},
                      AsFoundRefusal{"nu_below_one", [](AsFoundInputs& in) { in.standard.degreesOfFreedom = 0.5; },
                                     "degrees of freedom"}),
    caseName<AsFoundInputs>);

using AsLeftRefusal = Refusal<AsLeftInputs>;
class AsLeftRefuses : public ::testing::TestWithParam<AsLeftRefusal> {};

TEST_P(AsLeftRefuses, WithAReason) {
  expectRefused(AsLeftInputs{5.0, {0.01, 0.0, 2.0}, 5.0, kWindow, 0.1, 1.0}, GetParam(), evaluateAsLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, AsLeftRefuses,
    ::testing::Values(AsLeftRefusal{"reference", [](AsLeftInputs& in) { in.referenceValue = INFINITY; },
                                    "the check's reference value"},
                      AsLeftRefusal{"reading", [](AsLeftInputs& in) { in.reading = NAN; }, "the check's reading"},
                      AsLeftRefusal{"window", [](AsLeftInputs& in) { in.rawWindow = kSpoiledWindow; }, "window"},
                      AsLeftRefusal{"slope", [](AsLeftInputs& in) { in.slope = NAN; }, "slope"},
                      AsLeftRefusal{"step", [](AsLeftInputs& in) { in.rawStep = -INFINITY; }, "raw step"},
                      AsLeftRefusal{"k", [](AsLeftInputs& in) { in.standard.coverageFactor = -2.0; },
                                    "the check's reference standard's coverage"},
                      AsLeftRefusal{"U", [](AsLeftInputs& in) { in.standard.a = 0.0; },
                                    "the check's reference standard's expanded"}),
    caseName<AsLeftInputs>);

struct ToleranceRefusal {
  const char* name;
  Tolerance tolerance;
  double span;
  const char* mentions;
};
void PrintTo(const ToleranceRefusal& c, std::ostream* os) { *os << c.name; }

class ToleranceRefused : public ::testing::TestWithParam<ToleranceRefusal> {};

TEST_P(ToleranceRefused, NamesTheField) {
  PointResult r;
  r.verdict = Verdict::kConditionalPass;
  std::string problem;
  EXPECT_FALSE(judge(r, GetParam().tolerance, DecisionRule::kGuarded, GetParam().span, problem));
  EXPECT_NE(problem.find(GetParam().mentions), std::string::npos) << problem;
  EXPECT_EQ(r.verdict, Verdict::kConditionalPass);
  EXPECT_EQ(r.rule, DecisionRule::kSimple);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ToleranceRefused,
    ::testing::Values(ToleranceRefusal{"a_negative", Tolerance::ofReading(-0.1, 1.0), 1.0, "\"a\" is negative"},
                      ToleranceRefusal{"a_not_finite", Tolerance::ofReading(NAN, 1.0), 1.0, "\"a\" is not a finite"},
                      ToleranceRefusal{"b_negative", Tolerance::ofReading(0.1, -1.0), 1.0, "\"b\" is negative"},
                      ToleranceRefusal{"b_infinite", Tolerance::ofReading(0.1, INFINITY), 1.0, "\"b\""},
                      ToleranceRefusal{"span_percent_negative", Tolerance::ofPointsSpan(-0.5), 1.0, "\"% of span\""},
                      ToleranceRefusal{"span_percent_nan", Tolerance::ofPointsSpan(NAN), 1.0, "\"% of span\""},
                      ToleranceRefusal{"span_zero", Tolerance::ofPointsSpan(0.5), 0.0, "span"},
                      ToleranceRefusal{"span_not_finite", Tolerance::ofPointsSpan(0.5), INFINITY, "span"},
                      ToleranceRefusal{"range_half_given", Tolerance::ofSpan(0.5, NAN, 10.0), 1.0, "finite lower and upper"},
                      ToleranceRefusal{"range_empty", Tolerance::ofSpan(0.5, 10.0, 10.0), 1.0, "not above its lower"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BudgetCorrelation, RefusesPairsThatAreNotOne) {
  UncertaintyBudget b;
  b.contributions = {{"a", 1.0, 1.0, 1.0}, {"b", 1.0, 1.0, 1.0}};
  EXPECT_FALSE(b.correlate(0, 2, 0.5));
  EXPECT_FALSE(b.correlate(1, 1, 0.5));
  EXPECT_FALSE(b.correlate(0, 1, 1.01));
  EXPECT_FALSE(b.correlate(0, 1, NAN));
  EXPECT_TRUE(b.correlate(1, 0, -1.0));
  EXPECT_NEAR(b.combined(), 0.0, 1e-12);
}

// A standard is usable up to and on its due date, not the day after; a date is
// one of the calendar (1900 was no leap year, 2000 was).
TEST(StandardEntry, IsUsableOnItsDueDateAndNotAfter) {
  StandardEntry e{"PRT 7", "SN 1", "C-1", "Lab", "2026-01-15", "2026-12-11", "temperature", "\u00b0C", {0.02, 0, 2}};
  std::string problem;
  EXPECT_TRUE(usableOn(e, "2026-12-11", problem)) << problem;
  EXPECT_FALSE(usableOn(e, "2026-12-12", problem));
  EXPECT_EQ(problem, "Reference standard PRT 7 was due on 2026-12-11; it cannot be used");
  EXPECT_FALSE(isCalendarDate("1900-02-29"));
  EXPECT_TRUE(isCalendarDate("2000-02-29"));
  EXPECT_FALSE(isCalendarDate("2026-13-01"));
}

}  // namespace
}  // namespace trimwell::metrology

namespace trimwell::metrology {
namespace {

// A standard's unit against a row's, by meaning: the micro sign however typed.
struct UnitCase {
  const char* a;
  const char* b;
  bool same;
};

class UnitsAlike : public ::testing::TestWithParam<UnitCase> {};

TEST_P(UnitsAlike, ByMeaning) {
  EXPECT_EQ(sameUnit(GetParam().a, GetParam().b), GetParam().same) << GetParam().a << " / " << GetParam().b;
  EXPECT_EQ(sameUnit(GetParam().b, GetParam().a), GetParam().same);
}

INSTANTIATE_TEST_SUITE_P(Units, UnitsAlike,
                         ::testing::Values(UnitCase{"uS/cm", "\u00b5S/cm", true}, UnitCase{"\u03bcS/cm", "\u00b5S/cm", true},
                                           UnitCase{"mg/uL", "mg/\u00b5L", true}, UnitCase{"\u00b0C", "\u00b0C", true},
                                           UnitCase{"mS/cm", "\u00b5S/cm", false}, UnitCase{"u", "\u00b5", false},
                                           UnitCase{"lux", "l\u00b5x", false}, UnitCase{"K", "\u00b0C", false}));

}  // namespace
}  // namespace trimwell::metrology
