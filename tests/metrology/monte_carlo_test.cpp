// The law of propagation checked against a propagation of distributions
// (JCGM 101, clause 7): each input drawn from its PDF, the model evaluated for
// every draw, the standard deviation of the outputs compared with u_c. The model
// here is the measurement equation itself, not the sensitivity coefficients, so
// a wrong coefficient, sign, correlation or input shows as a different spread.
#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "metrology/as_found.h"
#include "metrology/as_left_check.h"
#include "metrology/coverage.h"

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

// A bench run from the adjustment to the check: the unit's raw input answers a
// stimulus t with g(t), linear through (Y1, x1) and (Y2, x2); the two points are
// taken (raw readings with their spread and rounding, references with the
// standard's error), the line through them is written as exact constants, and
// the check at the stimulus whose raw value is x reads R through that line
// against the standard's Y. What the check measures is the error of the unit as
// left, E_true = line(g(t)) - t; the spread of E - E_true over the runs is the
// uncertainty of the check's result. The adjustment's draws move the line, and
// so E_true, but not what the check adds to it.
struct LineCase {
  const char* name;
  double x1, y1, x2, y2, x;
  double s1, s2, s;  // the raw windows' spreads
  double step;
  bool sameStandard;
};
void PrintTo(const LineCase& c, std::ostream* os) { *os << c.name; }

class MonteCarlo : public ::testing::TestWithParam<LineCase> {};

TEST_P(MonteCarlo, AsLeftAgreesWithABenchRun) {
  const LineCase& p = GetParam();
  // A standard-heavy budget, so the points' references would weigh in u_c if
  // they counted.
  const ReferenceStandard standard{0.05, 0.001, 2.0};
  const double mNominal = (p.y2 - p.y1) / (p.x2 - p.x1);
  const auto g = [&](double t) { return p.x1 + (t - p.y1) / mNominal; };
  const double t = p.y1 + mNominal * (p.x - p.x1);  // the check's stimulus: g(t) = x
  const auto w = windowWithDeviation(p.x, p.s);
  AsLeftInputs in{t, standard, t, w, mNominal, p.step};
  PointResult result;
  std::string problem;
  ASSERT_TRUE(evaluateAsLeft(in, result, problem)) << problem;

  std::mt19937_64 rng(20240607);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> step(-p.step / 2.0, p.step / 2.0);
  auto u = [&](double v) { return standard.expanded(v) / standard.coverageFactor; };
  Spread error;
  for (int i = 0; i < kDraws; ++i) {
    // One standard's error is one systematic error: a shared draw (r = 1).
    const double z1 = normal(rng);
    const double z2 = p.sameStandard ? z1 : normal(rng);
    const double zCheck = p.sameStandard ? z1 : normal(rng);
    const double y1 = p.y1 + z1 * u(p.y1), y2 = p.y2 + z2 * u(p.y2);
    const double x1 = g(p.y1) + p.s1 * normal(rng) + step(rng);
    const double x2 = g(p.y2) + p.s2 * normal(rng) + step(rng);
    const auto line = [&](double raw) { return y1 + (y2 - y1) / (x2 - x1) * (raw - x1); };
    const double x = g(t) + p.s * normal(rng) + step(rng);
    const double measured = line(x) - (t + zCheck * u(t));
    const double asLeft = line(g(t)) - t;
    error.add(measured - asLeft);
  }
  EXPECT_NEAR(error.deviation() / result.uncertainty.combined(), 1.0, 0.01);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, MonteCarlo,
    ::testing::Values(LineCase{"between_the_points", 1000, 0, 5000, 100, 3000, 0.5, 0.8, 0.6, 1, true},
                      LineCase{"beyond_the_points", 1000, 0, 5000, 100, 7000, 0.5, 0.8, 0.6, 1, true},
                      LineCase{"near_point_1", 1000, 0, 5000, 100, 1400, 0.5, 0.8, 0.6, 1, true},
                      LineCase{"falling_line", -200, 80, 1800, -20, 900, 3, 2, 4, 2, true},
                      LineCase{"two_standards", 1000, 0, 5000, 100, 3000, 0.5, 0.8, 0.6, 1, false},
                      LineCase{"far_beyond_two_standards", 1000, 0, 5000, 100, 13000, 2, 2, 1, 1, false}),
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

// The coverage interval (JCGM 101, 7.7): each reading's spread drawn from a t
// distribution with n - 1 degrees of freedom scaled by s (JCGM 101, 6.4.9), the
// standard's error from a normal one; the half-width holding 95.45 % of the
// errors drawn is ±U within 5 %, with the spread outweighing the standard and not.
struct SpreadCase {
  const char* name;
  int readings;
  double spread;    // s of the window
  double standard;  // the standard's U, at k = 2
};
void PrintTo(const SpreadCase& c, std::ostream* os) { *os << c.name; }

class CoverageInterval : public ::testing::TestWithParam<SpreadCase> {};

TEST_P(CoverageInterval, AgreesWithTheExpandedUncertainty) {
  const SpreadCase& c = GetParam();
  std::vector<double> window;
  for (int i = 0; i < c.readings; ++i) window.push_back(static_cast<double>(i));
  const double scale = c.spread / experimentalDeviation(window);
  for (double& r : window) r = 20.0 + (r - (c.readings - 1) / 2.0) * scale;
  const ReferenceStandard standard{c.standard, 0.0, 2.0};
  PointResult result;
  std::string problem;
  ASSERT_TRUE(evaluateAsFound({20.0, standard, 20.0, window, 0.0}, result, problem)) << problem;

  std::mt19937_64 rng(5150);
  std::student_t_distribution<double> t(c.readings - 1);
  std::normal_distribution<double> normal;
  std::vector<double> errors(kDraws);
  for (double& e : errors) e = std::abs(c.spread * t(rng) - c.standard / 2.0 * normal(rng));
  const auto at = errors.begin() + static_cast<std::ptrdiff_t>(kCoverageProbability * kDraws);
  std::nth_element(errors.begin(), at, errors.end());
  EXPECT_NEAR(*at / result.uncertainty.expanded(), 1.0, 0.05) << "k = " << result.uncertainty.coverageFactor;
}

INSTANTIATE_TEST_SUITE_P(Spreads, CoverageInterval,
                         ::testing::Values(SpreadCase{"ten_readings_outweigh_the_standard", 10, 0.05, 0.01},
                                           SpreadCase{"the_standard_outweighs_ten_readings", 10, 0.005, 0.1},
                                           SpreadCase{"ten_readings_beside_the_standard", 10, 0.02, 0.04}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace trimwell::metrology
