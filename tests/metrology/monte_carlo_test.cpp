// The law of propagation checked against a propagation of distributions
// (JCGM 101, clause 7): each input drawn from its PDF, the model evaluated for
// every draw, the standard deviation of the outputs compared with u_c. The model
// here is the measurement equation itself, not the sensitivity coefficients, so
// a wrong coefficient, sign or correlation shows as a different spread.
#include <array>
#include <cmath>
#include <random>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "metrology/as_found.h"
#include "metrology/as_left_check.h"

namespace trimwell::metrology {
namespace {

constexpr int kDraws = 1'000'000;

// Welford's running variance: stable over a million draws.
class Spread {
 public:
  void add(double v) {
    ++n_;
    const double d = v - mean_;
    mean_ += d / n_;
    m2_ += d * (v - mean_);
  }
  double deviation() const { return std::sqrt(m2_ / (n_ - 1)); }

 private:
  double n_ = 0.0, mean_ = 0.0, m2_ = 0.0;
};

std::array<double, 3> windowWithDeviation(double centre, double s) { return {centre - s, centre, centre + s}; }

struct LineCase {
  const char* name;
  double x1, y1, x2, y2, x, y;
  double s1, s2, s;  // the raw windows' spreads
  double step;
  bool sameStandard;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class MonteCarlo : public ::testing::TestWithParam<LineCase> {};

TEST_P(MonteCarlo, AsLeftAgreesWithTheLawOfPropagation) {
  const LineCase& p = GetParam();
  // A standard-heavy budget, so the correlation of Y1 and Y2 weighs in u_c.
  const ReferenceStandard standard{0.05, 0.001, 2.0};
  const auto w1 = windowWithDeviation(p.x1, p.s1), w2 = windowWithDeviation(p.x2, p.s2),
             w = windowWithDeviation(p.x, p.s);
  AsLeftInputs in{{p.x1, w1, p.y1, standard}, {p.x2, w2, p.y2, standard}, p.sameStandard, {p.x, w, p.y, standard},
                  p.step};
  PointResult result;
  std::string problem;
  ASSERT_TRUE(evaluateAsLeft(in, result, problem)) << problem;

  std::mt19937_64 rng(20240607);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> step(-p.step / 2.0, p.step / 2.0);
  auto u = [&](double v) { return standard.expanded(v) / standard.coverageFactor; };
  Spread error;
  for (int i = 0; i < kDraws; ++i) {
    // One shared draw moves both points of one standard together (r = 1).
    const double z1 = normal(rng);
    const double z2 = p.sameStandard ? z1 : normal(rng);
    const double y1 = p.y1 + z1 * u(p.y1), y2 = p.y2 + z2 * u(p.y2);
    const double x1 = p.x1 + p.s1 * normal(rng) + step(rng);
    const double x2 = p.x2 + p.s2 * normal(rng) + step(rng);
    const double x = p.x + p.s * normal(rng) + step(rng);
    const double y = p.y + u(p.y) * normal(rng);
    error.add(y1 + (y2 - y1) / (x2 - x1) * (x - x1) - y);
  }
  EXPECT_NEAR(error.deviation() / result.uncertainty.combined(), 1.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MonteCarlo,
    ::testing::Values(LineCase{"between_the_points", 1000, 0, 5000, 100, 3000, 49.9, 0.5, 0.8, 0.6, 1, true},
                      LineCase{"beyond_the_points", 1000, 0, 5000, 100, 7000, 150.2, 0.5, 0.8, 0.6, 1, true},
                      LineCase{"near_point_1", 1000, 0, 5000, 100, 1400, 10.1, 0.5, 0.8, 0.6, 1, true},
                      LineCase{"falling_line", -200, 80, 1800, -20, 900, 25.0, 3, 2, 4, 2, true},
                      LineCase{"two_standards", 1000, 0, 5000, 100, 3000, 49.9, 0.5, 0.8, 0.6, 1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MonteCarloAsFound, AgreesWithTheLawOfPropagation) {
  const ReferenceStandard standard{0.02, 0.0002, 2.0};
  const auto window = windowWithDeviation(20.0, 0.012);
  const double q = 0.05;
  AsFoundInputs in{20.0, standard, 20.03, window, q};
  PointResult result;
  std::string problem;
  ASSERT_TRUE(evaluateAsFound(in, result, problem)) << problem;

  std::mt19937_64 rng(987654321);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> step(-q / 2.0, q / 2.0);
  const double uRef = standard.expanded(20.0) / standard.coverageFactor;
  Spread error;
  for (int i = 0; i < kDraws; ++i) {
    const double reading = 20.03 + 0.012 * normal(rng) + step(rng);
    error.add(reading - (20.0 + uRef * normal(rng)));
  }
  EXPECT_NEAR(error.deviation() / result.uncertainty.combined(), 1.0, 0.01);
}

}  // namespace
}  // namespace trimwell::metrology
