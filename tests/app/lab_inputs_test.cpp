#include "app/lab_inputs.h"

#include <cmath>

#include <gtest/gtest.h>

#include "app/units_due.h"
#include "platform/registry.h"

namespace trimwell {
namespace {

struct ToleranceCase {
  const char* name;
  const char* text;
  bool taken;
  // For a tolerance taken: its limit at reading 50 over a span of 200; for one
  // refused: what the message names.
  double limit;
  const char* named;
};

class Tolerances : public ::testing::TestWithParam<ToleranceCase> {};

TEST_P(Tolerances, AreTakenOrRefusedNamingTheField) {
  const ToleranceCase& c = GetParam();
  metrology::Tolerance t = metrology::Tolerance::ofPointsSpan(9.0);
  std::string problem;
  ASSERT_EQ(parseTolerance(c.text, t, problem), c.taken) << problem;
  if (!c.taken) {
    EXPECT_NE(problem.find(c.named), std::string::npos) << problem;
    EXPECT_EQ(t.percentOfSpan, 9.0) << "a refused tolerance keeps nothing";
    return;
  }
  EXPECT_DOUBLE_EQ(t.kind == metrology::Tolerance::Kind::kNone ? 0.0 : t.limit(50.0, 200.0), c.limit);
  metrology::Tolerance again;
  ASSERT_TRUE(parseTolerance(toleranceText(t), again, problem)) << "the settings read back what they kept";
  EXPECT_EQ(toleranceText(again), toleranceText(t));
}

// ± (0.1 + 2 % of 50) = 1.1; ± 0.5 % of the points' span of 200 = 1; ± 0.5 % of
// the range -20 to 80 = 0.5, whatever the points.
INSTANTIATE_TEST_SUITE_P(Texts, Tolerances,
                         ::testing::Values(ToleranceCase{"of_reading", "reading 0.1 2", true, 1.1, ""},
                                           ToleranceCase{"decimal_comma", "reading 0,1 2", true, 1.1, ""},
                                           ToleranceCase{"of_points_span", "span 0.5", true, 1.0, ""},
                                           ToleranceCase{"of_range", "span 0.5 -20 80", true, 0.5, ""},
                                           ToleranceCase{"range_upside_down", "span 0.5 80 -20", false, 0,
                                                         "upper value not above its lower one"},
                                           ToleranceCase{"range_not_a_number", "span 0.5 cold 80", false, 0,
                                                         "range's lower value \"cold\""},
                                           ToleranceCase{"none", "none", true, 0.0, ""},
                                           ToleranceCase{"not_a_number", "reading abc 2", false, 0, "Tolerance a"},
                                           ToleranceCase{"infinite", "span 1e999", false, 0, "% of span"},
                                           ToleranceCase{"negative", "reading 0.1 -2", false, 0, "b (% of reading)"},
                                           ToleranceCase{"unknown_kind", "percent 3", false, 0, "is none, reading"},
                                           ToleranceCase{"too_many", "span 1 2", false, 0, "is none, reading"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Conditions, EmptyIsNotGivenAndAnythingButAFiniteNumberIsRefused) {
  double value = 0.0;
  std::string problem;
  ASSERT_TRUE(parseCondition("  ", "Ambient temperature", value, problem));
  EXPECT_TRUE(std::isnan(value));
  ASSERT_TRUE(parseCondition("23,1", "Ambient temperature", value, problem));
  EXPECT_DOUBLE_EQ(value, 23.1);
  for (const char* bad : {"warm", "1e999", "+-3"}) {
    EXPECT_FALSE(parseCondition(bad, "Relative humidity", value, problem)) << bad;
    EXPECT_EQ(problem.rfind(std::string("Relative humidity \"") + bad + "\"", 0), 0u) << problem;
  }
}

TEST(LabSettingsStore, KeepsTheRuleTheRequiredFieldsAndAModelsTolerances) {
  MemoryRegistry registry;
  LabSettings lab;
  lab.rule = metrology::DecisionRule::kNonBinary;
  lab.unitRequired = true;
  ASSERT_TRUE(lab.save(registry));
  ASSERT_TRUE(setRowTolerance(registry, 221, 10, metrology::Tolerance::ofReading(0.5, 1.0)));
  ASSERT_TRUE(setCalibrationInterval(registry, 221, 365));
  const LabSettings read = LabSettings::load(registry);
  EXPECT_EQ(read.rule, metrology::DecisionRule::kNonBinary);
  EXPECT_TRUE(read.unitRequired);
  EXPECT_FALSE(read.conditionsRequired);
  EXPECT_EQ(toleranceText(rowTolerance(registry, 221, 10)), "reading 0.5 1");
  EXPECT_EQ(rowTolerance(registry, 221, 11).kind, metrology::Tolerance::Kind::kNone);
  EXPECT_EQ(calibrationInterval(registry, 221), 365);
  EXPECT_EQ(calibrationInterval(registry, 222), 0);
}

TEST(Dates, DaysAddAcrossMonthsYearsAndLeapDays) {
  EXPECT_EQ(addDays("2026-12-09", 30), "2027-01-08");
  EXPECT_EQ(addDays("2028-02-28", 1), "2028-02-29");
  EXPECT_EQ(addDays("2027-02-28", 1), "2027-03-01");
  EXPECT_EQ(addDays("2026-03-01", -1), "2026-02-28");
  EXPECT_EQ(addDays("2026-02-30", 1), "");
}

}  // namespace
}  // namespace trimwell
