#pragma once
// An uncertainty budget kept as data (JCGM 100, clause 5): each input with its
// source, what its certificate or window states, the divisor to a standard
// uncertainty and the result's sensitivity to it; correlated inputs are declared
// once, as pairs. The certificate, the records and the window print this one
// budget, so none of them works the uncertainty out a second time.

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

namespace trimwell::metrology {

struct Contribution {
  std::string source;        // "reference standard", "repeatability", "point 1 raw resolution", ...
  double value = 0.0;        // as stated: an expanded uncertainty, a standard deviation, a step
  double divisor = 1.0;      // to a standard uncertainty: k for a certificate, sqrt(12) for a step
  double sensitivity = 1.0;  // c_i: the result's change per unit of this input
  // ν_i (JCGM 100, G.3.3): n - 1 for the spread of n readings; infinite for a
  // step, and for a certificate's U unless the certificate states its own.
  double degreesOfFreedom = std::numeric_limits<double>::infinity();
  double standard() const { return value / divisor; }                // u(x_i)
  double contribution() const { return sensitivity * standard(); }  // c_i u(x_i), with its sign
};

// Two inputs whose errors are not independent (JCGM 100, 5.2.2): indices into
// the budget's contributions and their correlation coefficient r(x_i, x_j).
struct Correlation {
  std::size_t first = 0;
  std::size_t second = 0;
  double coefficient = 0.0;
};

struct UncertaintyBudget {
  std::vector<Contribution> contributions;
  std::vector<Correlation> correlations;
  // k for about 95 %: 2 for a near-normal result (JCGM 100, 6.3.3), else Student's
  // t at the effective degrees of freedom (metrology/coverage.h sets it).
  double coverageFactor = 2.0;

  // u_c by the law of propagation (JCGM 100, 5.2.2): the root of
  // sum (c_i u_i)^2 + 2 sum r_ij (c_i u_i)(c_j u_j). A set of pairs that is not a
  // valid correlation matrix could make that negative: it counts as zero then.
  double combined() const;
  double expanded() const { return coverageFactor * combined(); }

  // The contribution's fraction of u_c^2. A correlated pair's cross term
  // 2 r (c_i u_i)(c_j u_j) is split in halves between its two members, so the
  // shares of a budget add up to 1; a negative share is an input whose
  // correlation cancels more of the variance than it adds. 0 when u_c is 0 or
  // the index is out of range.
  double share(std::size_t index) const;

  // Declares a correlation; false for an index out of range, one index twice,
  // or a coefficient not finite or outside [-1, 1].
  bool correlate(std::size_t first, std::size_t second, double coefficient);
};

}  // namespace trimwell::metrology
