// The numbers a certificate states: k from the effective degrees of freedom
// (JCGM 100, Annex G) against Student's t as published, Welch-Satterthwaite on
// budgets whose ν_eff is worked out by hand, and the rounding of ILAC P14 on the
// cases where binary doubles and ties go wrong.
#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "metrology/as_found.h"
#include "metrology/coverage.h"
#include "metrology/reported_value.h"

namespace trimwell::metrology {
namespace {

constexpr double kInfinite = std::numeric_limits<double>::infinity();

struct QuantileCase {
  double degrees;
  double published;  // t for 95.45 %, to two decimals (JCGM 100, Table G.2)
};
void PrintTo(const QuantileCase& c, std::ostream* os) { *os << "nu " << c.degrees; }

class StudentT : public ::testing::TestWithParam<QuantileCase> {};

TEST_P(StudentT, MatchesThePublishedTable) {
  EXPECT_NEAR(coverageFactorFor(GetParam().degrees), GetParam().published, 0.005);
}

INSTANTIATE_TEST_SUITE_P(Table, StudentT,
                         ::testing::Values(QuantileCase{1, 13.97}, QuantileCase{2, 4.53}, QuantileCase{5, 2.65},
                                           QuantileCase{9, 2.32}, QuantileCase{9.9, 2.32}, QuantileCase{20, 2.13},
                                           QuantileCase{50, 2.05}, QuantileCase{0.4, 13.97},
                                           QuantileCase{1e4, 2.00}, QuantileCase{1e4 + 1, 2.00},
                                           // A spread of 1e-15 beside a certificate: ν_eff near 1e55.
                                           QuantileCase{1e55, 2.00}, QuantileCase{kInfinite, 2.00}));

// Contributions c_i u_i with their ν, and pairs correlated, whose ν_eff is known.
struct BudgetCase {
  const char* name;
  std::vector<std::pair<double, double>> parts;  // u_i, ν_i
  std::vector<Correlation> correlations;
  double effective;
};
void PrintTo(const BudgetCase& c, std::ostream* os) { *os << c.name; }

class WelchSatterthwaite : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(WelchSatterthwaite, GivesTheDegreesWorkedByHand) {
  UncertaintyBudget budget;
  for (const auto& [u, nu] : GetParam().parts) budget.contributions.push_back({"x", u, 1.0, 1.0, nu});
  budget.correlations = GetParam().correlations;
  const double nu = effectiveDegreesOfFreedom(budget);
  if (std::isinf(GetParam().effective)) {
    EXPECT_TRUE(std::isinf(nu)) << nu;
  } else {
    EXPECT_NEAR(nu, GetParam().effective, 1e-9 * GetParam().effective);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Budgets, WelchSatterthwaite,
    ::testing::Values(
        // u_c^2 = 2; ν_eff = 4 / (1 / 4) = 16.
        BudgetCase{"spread_beside_a_certificate", {{1, 4}, {1, kInfinite}}, {}, 16},
        // Three alike: 9 / (3 / 9) = 27.
        BudgetCase{"three_spreads_alike", {{1, 9}, {1, 9}, {1, 9}}, {}, 27},
        // A spread alone keeps its own: n - 1.
        BudgetCase{"spread_alone", {{0.3, 9}}, {}, 9},
        // The two references of one standard are one input: (1 + 1)^2 = 4 of 5;
        // ν_eff = 25 / (1 / 4) = 100, not the 25 / (1/4 + 0) of them apart.
        BudgetCase{"one_standard_twice", {{1, kInfinite}, {1, kInfinite}, {1, 4}}, {{0, 1, 1.0}}, 100},
        // Fully correlated spreads: one input of variance 4 with ν 4, beside 1 with ν 4:
        // 25 / (16 / 4 + 1 / 4) = 25 / 4.25.
        BudgetCase{"spreads_fully_correlated", {{1, 4}, {1, 4}, {1, 4}}, {{0, 1, 1.0}}, 25.0 / 4.25},
        BudgetCase{"certificates_only", {{1, kInfinite}, {2, kInfinite}}, {}, kInfinite},
        BudgetCase{"nothing", {}, {}, kInfinite}),
    [](const auto& info) { return std::string(info.param.name); });

// Ten readings whose spread outweighs the standard: ν_eff near 9, and k as t
// gives it, not 2. Two readings: ν = 1, and their spread is not left out.
TEST(CoverageFactor, FollowsTheReadingsTheSpreadCameFrom) {
  for (const auto& [count, k] : {std::pair{10, 2.32}, {2, 13.97}}) {
    std::vector<double> window;
    for (int i = 0; i < count; ++i) window.push_back(20.0 + (i % 2 == 0 ? 0.05 : -0.05));
    const AsFoundInputs in{20.0, ReferenceStandard{0.001, 0.0, 2.0}, 20.0, window, 0.0};
    PointResult result;
    std::string problem;
    ASSERT_TRUE(evaluateAsFound(in, result, problem)) << problem;
    ASSERT_EQ(result.uncertainty.contributions.size(), 2u) << count;
    EXPECT_EQ(result.uncertainty.contributions[1].degreesOfFreedom, count - 1);
    EXPECT_NEAR(result.uncertainty.coverageFactor, k, 0.01) << count;
  }
}

// A standard whose certificate states ν carries it into the budget.
TEST(CoverageFactor, TakesTheStandardsOwnDegrees) {
  ReferenceStandard standard{0.1, 0.0, 2.0};
  standard.degreesOfFreedom = 5;
  const std::vector<double> none;
  PointResult result;
  std::string problem;
  ASSERT_TRUE(evaluateAsFound({20.0, standard, 20.0, none, 0.0}, result, problem)) << problem;
  EXPECT_NEAR(result.uncertainty.coverageFactor, 2.65, 0.005);
}

struct RoundingCase {
  const char* name;
  double expanded;
  const char* roundedU;
  double value;
  const char* roundedValue;
};
void PrintTo(const RoundingCase& c, std::ostream* os) { *os << c.name; }

class Rounding : public ::testing::TestWithParam<RoundingCase> {};

TEST_P(Rounding, UpToTwoDigitsAndTheValueToItsPlace) {
  const RoundedUncertainty u = roundUp(GetParam().expanded);
  EXPECT_EQ(u.text, GetParam().roundedU);
  EXPECT_EQ(roundedTo(GetParam().value, u.lastPlace), GetParam().roundedValue);
}

INSTANTIATE_TEST_SUITE_P(
    P14, Rounding,
    ::testing::Values(RoundingCase{"up_past_a_digit", 0.0150001, "0.016", 0.123456, "0.123"},
                      RoundingCase{"up_to_the_next_decade", 0.0999, "0.10", 36.00000000000001, "36.00"},
                      RoundingCase{"one_decimal", 1.04, "1.1", 20.05, "20.0"},
                      RoundingCase{"whole_units", 12.01, "13", 1234.5, "1234"},
                      // 0.016's binary neighbour is above it: its digits stay.
                      RoundingCase{"exact_two_digits", 0.016, "0.016", -0.9999999999999929, "-1.000"},
                      RoundingCase{"tie_to_even_down", 0.05, "0.050", 0.0125, "0.012"},
                      RoundingCase{"tie_to_even_up", 0.05, "0.050", 0.0135, "0.014"},
                      RoundingCase{"no_negative_zero", 0.05, "0.050", -0.0004, "0.000"},
                      RoundingCase{"tens", 120.4, "130", 1255.0, "1260"},
                      RoundingCase{"nothing_above_the_place", 120.4, "130", 4.0, "0"},
                      RoundingCase{"zero_at_tens", 120.4, "130", 0.0, "0"},
                      RoundingCase{"a_hundred_at_units", 97.7725, "98", 100.02, "100"},
                      RoundingCase{"small", 2.01e-7, "0.00000021", 1.0000001234e-3, "0.00100000"}),
    [](const auto& info) { return std::string(info.param.name); });

// Without a U (no standard) the record's digits, to ten significant digits; k to
// two decimals, and ν_eff beside it only where k is not 2.00.
TEST(ReportedPoint, StatesWhatTheCertificatePrints) {
  PointResult p;
  p.referenceValue = 36.0;
  p.reading = 36.00000000000001;
  EXPECT_EQ(reportPoint(p).reading, "36");
  EXPECT_EQ(reportPoint(p).expanded, "");
  p.uncertainty.contributions.push_back({"reference standard", 0.05, 2.0, -1.0});
  p.limit = 0.2860280017089844;
  ReportedPoint shown = reportPoint(p);
  EXPECT_EQ(shown.expanded, "0.050");
  EXPECT_EQ(shown.reading, "36.000");
  EXPECT_EQ(shown.limit, "0.286");
  EXPECT_EQ(shown.coverageFactor, "2.00");
  EXPECT_EQ(shown.effectiveDegrees, "");
  p.uncertainty.contributions.push_back({"repeatability", 0.2, 1.0, 1.0, 9});
  setCoverageFactor(p.uncertainty);
  shown = reportPoint(p);
  EXPECT_EQ(shown.coverageFactor, "2.32");
  EXPECT_EQ(shown.effectiveDegrees, "9");
  // A limit as set keeps its digits beside a coarser U; one worked out to many
  // digits goes to U's place.
  p.limit = 0.25;
  p.uncertainty.contributions = {{"repeatability", 0.45, 1.0, 1.0}};
  setCoverageFactor(p.uncertainty);
  shown = reportPoint(p);
  EXPECT_EQ(shown.expanded, "0.90");
  EXPECT_EQ(shown.limit, "0.25");
  p.uncertainty.contributions = {{"repeatability", 4.5, 1.0, 1.0}};
  shown = reportPoint(p);
  EXPECT_EQ(shown.expanded, "9.0");
  EXPECT_EQ(shown.limit, "0.25");
  p.limit = 0.2860280017089844;
  EXPECT_EQ(reportPoint(p).limit, "0.3");
  // Beside a U far above it (points taken while the readings still moved), a limit
  // keeps its first digit rather than print as a tolerance of 0.
  p.uncertainty.contributions = {{"repeatability", 48.9, 1.0, 1.0}};
  p.limit = 0.10040000000000002;
  shown = reportPoint(p);
  EXPECT_EQ(shown.expanded, "98");
  EXPECT_EQ(shown.limit, "0.1");
  EXPECT_EQ(shown.error, "0");
}

}  // namespace
}  // namespace trimwell::metrology
