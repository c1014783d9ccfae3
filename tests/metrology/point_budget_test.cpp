#include "metrology/point_budget.h"

#include <cmath>
#include <string>

#include <gtest/gtest.h>

namespace trimwell::metrology {
namespace {

const Contribution* find(const PointResult& result, const std::string& source) {
  for (const Contribution& c : result.uncertainty.contributions) {
    if (c.source == source) return &c;
  }
  return nullptr;
}

// Worked by hand from JCGM 100 (4.2.3 for the mean's deviation, 4.3.7 for the
// rectangle, 5.1.2 for the combination): readings 10.1, 10.3, 10.2 have mean 10.2
// and s = 0.1, so s / sqrt(3) = 0.057735; a standard with U = 0.02 + 0.001 * |10| =
// 0.03 at k = 2 gives 0.015; a resolution of 0.1 gives 0.05 / sqrt(3) = 0.028868.
TEST(PointBudget, KnownAnswer) {
  PointInputs in;
  in.referenceValue = 10.0;
  in.standard = {0.02, 0.001, 2.0};
  in.readings = {10.1, 10.3, 10.2};
  in.resolution = 0.1;
  PointResult result;
  ASSERT_TRUE(evaluatePoint(in, result));
  EXPECT_NEAR(result.reading, 10.2, 1e-12);
  EXPECT_NEAR(result.error(), 0.2, 1e-12);
  ASSERT_EQ(result.uncertainty.contributions.size(), 3u);
  EXPECT_NEAR(find(result, "reference standard")->contribution(), 0.015, 1e-12);
  EXPECT_NEAR(find(result, "repeatability")->contribution(), 0.1 / std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(find(result, "resolution")->contribution(), 0.05 / std::sqrt(3.0), 1e-12);
  const double combined = std::sqrt(0.015 * 0.015 + 0.01 / 3.0 + 0.0025 / 3.0);
  EXPECT_NEAR(result.uncertainty.combined(), combined, 1e-12);
  EXPECT_NEAR(result.uncertainty.expanded(), 2.0 * combined, 1e-12);
}

// One reading has no repeatability of its own to state, and no resolution given
// adds none: only the standard's share is left.
TEST(PointBudget, OneReadingAndNoResolutionLeaveTheStandardAlone) {
  PointInputs in;
  in.referenceValue = -5.0;
  in.standard = {0.1, 0.0, 2.0};
  in.readings = {-4.9};
  PointResult result;
  ASSERT_TRUE(evaluatePoint(in, result));
  ASSERT_EQ(result.uncertainty.contributions.size(), 1u);
  EXPECT_NEAR(result.uncertainty.expanded(), 0.1, 1e-12);
}

struct BadInput {
  const char* name;
  void (*spoil)(PointInputs&);
};

class PointBudgetRefuses : public ::testing::TestWithParam<BadInput> {};

TEST_P(PointBudgetRefuses, LeavesTheResultAsItWas) {
  PointInputs in;
  in.referenceValue = 1.0;
  in.readings = {1.0, 1.1};
  GetParam().spoil(in);
  PointResult result;
  result.reading = 42.0;
  EXPECT_FALSE(evaluatePoint(in, result));
  EXPECT_EQ(result.reading, 42.0);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, PointBudgetRefuses,
    ::testing::Values(BadInput{"no_readings", [](PointInputs& in) { in.readings.clear(); }},
                      BadInput{"reading_not_finite", [](PointInputs& in) { in.readings.push_back(NAN); }},
                      BadInput{"reference_not_finite", [](PointInputs& in) { in.referenceValue = INFINITY; }},
                      BadInput{"no_coverage_factor", [](PointInputs& in) { in.standard.coverageFactor = 0.0; }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trimwell::metrology
