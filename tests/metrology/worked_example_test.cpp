#include <array>
#include <cmath>
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
//   u_c = 0.0185592, U = 2 u_c = 0.0371184; E = 0.10
//   shares: 0.000225 / 0.000344444 = 0.653226, 0.322581, 0.0241935
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
  EXPECT_NEAR(b.expanded(), 0.0371184, 1e-7);
  EXPECT_NEAR(b.share(0), 0.653226, 1e-6);
  EXPECT_NEAR(b.share(2), 0.0241935, 1e-7);
  EXPECT_NEAR(sumOfShares(b), 1.0, 1e-12);
}

// By hand: a line through (x1, Y1) = (1000, 0) and (x2, Y2) = (5000, 100), one
// standard U = 0.02 + 0.0001 |v| at k = 2 for all; m = 100 / 4000 = 0.025. The
// check at x = 3000 against Y = 49.98: R = 0 + 0.025 x 2000 = 50, E = 0.02.
// Raw windows {x-d, x, x+d} give s = d: 1 at x1 and x, 2 at x2; raw step 1.
//   point 1 reference   c = (5000-3000)/4000 = 0.5      u = 0.02/2 = 0.01       cu = 0.005
//   point 2 reference   c = (3000-1000)/4000 = 0.5      u = 0.03/2 = 0.015      cu = 0.0075
//   point 1 raw rep.    c = 0.025(3000-5000)/4000 = -0.0125  u = 1             cu = -0.0125
//   point 1 raw res.    c = -0.0125                     u = 1/sqrt(12) = 0.288675  cu = -0.00360844
//   point 2 raw rep.    c = -0.025(3000-1000)/4000 = -0.0125  u = 2            cu = -0.025
//   point 2 raw res.    c = -0.0125                     u = 0.288675            cu = -0.00360844
//   raw repeatability   c = m = 0.025                   u = 1                   cu = 0.025
//   raw resolution      c = 0.025                       u = 0.288675            cu = 0.00721688
//   reference standard  c = -1                          u = 0.024998/2 = 0.012499
//   sum of squares = 0.000025 + 0.00005625 + 0.00015625 + 0.0000130208 + 0.000625
//                  + 0.0000130208 + 0.000625 + 0.0000520833 + 0.000156225 = 0.00172185
//   correlation 2 x 0.005 x 0.0075 x 1 = 0.000075;  u_c^2 = 0.00179685
//   u_c = 0.0423893, U = 0.0847785; share of point 1 reference:
//   0.005 x (0.005 + 0.0075) / 0.00179685 = 0.0347831
TEST(WorkedExample, AsLeftCheckOnTheNewLine) {
  const std::array<double, 3> w1{999, 1000, 1001}, w2{4998, 5000, 5002}, w{2999, 3000, 3001};
  const ReferenceStandard standard{0.02, 0.0001, 2.0};
  AsLeftInputs in{{1000, w1, 0.0, standard}, {5000, w2, 100.0, standard}, true, {3000, w, 49.98, standard}, 1.0};
  PointResult r;
  std::string problem;
  ASSERT_TRUE(evaluateAsLeft(in, r, problem)) << problem;
  EXPECT_NEAR(r.reading, 50.0, 1e-12);
  EXPECT_NEAR(r.error(), 0.02, 1e-12);
  const auto& b = r.uncertainty;
  ASSERT_EQ(b.contributions.size(), 9u);
  const std::array<double, 9> expected{0.005,  0.0075, -0.0125,    -0.00360844, -0.025,
                                       -0.00360844, 0.025,  0.00721688, -0.012499};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(b.contributions[i].contribution(), expected[i], 1e-8) << b.contributions[i].source;
  }
  EXPECT_NEAR(b.combined(), 0.0423893, 1e-7);
  EXPECT_NEAR(b.expanded(), 0.0847785, 1e-7);
  EXPECT_NEAR(b.share(0), 0.0347831, 1e-7);
  EXPECT_NEAR(sumOfShares(b), 1.0, 1e-12);
}

}  // namespace
}  // namespace trimwell::metrology
