#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "metrology/as_found.h"
#include "metrology/as_left_check.h"

namespace trimwell::metrology {
namespace {

double sumOfShares(const UncertaintyBudget& budget) {
  double sum = 0.0;
  for (std::size_t i = 0; i < budget.contributions.size(); ++i) sum += budget.share(i);
  return sum;
}

// By hand: Y = 100, standard U = 0.02 + 0.0001 |Y| = 0.03 at k = 2, reading 100.10
// from a window of five 100.11 and five 100.09, reading step q = 0.01.
//   reference     c = -1  u = 0.03 / 2                        = 0.015
//   repeatability c =  1  u = s = sqrt(10 x 0.01^2 / 9)       = 0.0105409
//   resolution    c =  1  u = 0.01 / sqrt(12)                 = 0.0028868
//   u_c^2 = 0.000225 + 0.000111111 + 0.00000833333           = 0.000344444
//   u_c = 0.0185592; E = 0.10
//   shares: 0.000225 / 0.000344444 = 0.653226, 0.322581, 0.0241935
//   ν_eff = u_c^4 / (0.0105409^4 / 9) = 86.5 (the others' ν are infinite), so
//   k = t(86) = 2.0295 and U = 0.037666
TEST(WorkedExample, AsFound) {
  const std::array<double, 10> window{100.11, 100.09, 100.11, 100.09, 100.11,
                                      100.09, 100.11, 100.09, 100.11, 100.09};
  AsFoundInputs in{100.0, {0.02, 0.0001, 2.0}, 100.10, window, 0.01};
  PointResult r;
  std::string problem;
  ASSERT_TRUE(evaluateAsFound(in, r, problem)) << problem;
  EXPECT_NEAR(r.error(), 0.10, 1e-12);
  const auto& b = r.uncertainty;
  ASSERT_EQ(b.contributions.size(), 3u);
  EXPECT_NEAR(b.contributions[0].contribution(), -0.015, 1e-12);
  EXPECT_NEAR(b.contributions[1].contribution(), 0.0105409, 1e-7);
  EXPECT_NEAR(b.contributions[2].contribution(), 0.0028868, 1e-7);
  EXPECT_NEAR(b.combined(), 0.0185592, 1e-7);
  EXPECT_NEAR(b.coverageFactor, 2.0295, 5e-4);
  EXPECT_NEAR(b.expanded(), b.coverageFactor * 0.0185592, 1e-7);
  EXPECT_NEAR(b.share(0), 0.653226, 1e-6);
  EXPECT_NEAR(b.share(2), 0.0241935, 1e-7);
  EXPECT_NEAR(sumOfShares(b), 1.0, 1e-12);
}

// By hand: the line written through (1000, 0) and (5000, 100) has m = 0.025 and
// exact constants. The check at x = 3000 against Y = 49.98, with the standard
// U = 0.02 + 0.0001 |Y| at k = 2: R = 50, E = 0.02. Raw window {2999, 3000, 3001}
// gives s = 1; raw step 1.
//   reference standard  c = -1     u = 0.024998 / 2 = 0.012499      cu = -0.012499
//   raw repeatability   c = 0.025  u = 1                            cu =  0.025
//   raw resolution      c = 0.025  u = 1 / sqrt(12) = 0.288675      cu =  0.00721688
//   u_c^2 = 0.000156225 + 0.000625 + 0.0000520833 = 0.000833308
//   u_c = 0.0288671; share of the reference standard 0.187474
//   ν_eff = u_c^4 / (0.025^4 / 2) = 3.56 (three raw readings), so k = t(3) = 3.31
// The adjustment's points do not enter: they set the line, which the check measures.
TEST(WorkedExample, AsLeftCheckOnTheNewLine) {
  const std::array<double, 3> w{2999, 3000, 3001};
  AsLeftInputs in{49.98, {0.02, 0.0001, 2.0}, 50.0, w, 0.025, 1.0};
  PointResult r;
  std::string problem;
  ASSERT_TRUE(evaluateAsLeft(in, r, problem)) << problem;
  EXPECT_NEAR(r.error(), 0.02, 1e-12);
  const auto& b = r.uncertainty;
  ASSERT_EQ(b.contributions.size(), 3u);
  const std::array<double, 3> expected{-0.012499, 0.025, 0.00721688};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(b.contributions[i].contribution(), expected[i], 1e-8) << b.contributions[i].source;
  }
  EXPECT_NEAR(b.combined(), 0.0288671, 1e-7);
  EXPECT_NEAR(b.coverageFactor, 3.31, 0.005);
  EXPECT_NEAR(b.expanded(), b.coverageFactor * 0.0288671, 1e-6);
  EXPECT_NEAR(b.share(0), 0.187476, 1e-6);
  EXPECT_NEAR(sumOfShares(b), 1.0, 1e-12);
}

// The sums of squares are scaled, as std::hypot does: a standard's U of 1e200
// (whose square overflows) or of 1e-200 (whose square underflows) gives the u_c
// the budget states, never infinity or zero.
struct ScaleCase {
  const char* name;
  double expanded;  // the standard's U, at k = 2
  double other;     // a second, uncorrelated contribution's u
};
void PrintTo(const ScaleCase& c, std::ostream* os) { *os << c.name; }

class BudgetScale : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(BudgetScale, CombinesWithoutOverflowOrUnderflow) {
  const ScaleCase& p = GetParam();
  UncertaintyBudget b;
  b.contributions = {{"reference standard", p.expanded, 2.0, -1.0}, {"repeatability", p.other, 1.0, 1.0}};
  const double expected = std::hypot(p.expanded / 2.0, p.other);
  EXPECT_TRUE(std::isfinite(b.combined()));
  EXPECT_NEAR(b.combined() / expected, 1.0, 1e-12);
  EXPECT_NEAR(sumOfShares(b), 1.0, 1e-12);
  ASSERT_TRUE(b.correlate(0, 1, -0.5));
  const double u0 = p.expanded / 2.0;
  // u_c^2 = u0^2 + o^2 - 2 x 0.5 x (-u0)(o) = u0^2 + o^2 + u0 o, in scaled form.
  const double big = std::max(u0, p.other);
  const double a = u0 / big, c = p.other / big;
  EXPECT_NEAR(b.combined() / (big * std::sqrt(a * a + c * c + a * c)), 1.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Magnitudes, BudgetScale,
    ::testing::Values(ScaleCase{"large", 1e200, 3e199}, ScaleCase{"largest_finite", 1.7e308, 1.0},
                      ScaleCase{"tiny", 1e-200, 4e-201}, ScaleCase{"ordinary", 0.05, 0.01}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trimwell::metrology
