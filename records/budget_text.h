#pragma once
// An uncertainty budget as one text, the way a record's result keeps it in a
// single column of every SQL store: one line per contribution, then one per
// correlated pair, numbers in their shortest exact form so they read back
// bit-for-bit.
//
//   contribution <value> <divisor> <sensitivity> <source>
//   degrees <index> <degrees of freedom>      (only where finite)
//   correlation <first> <second> <coefficient>
//
// The source is the rest of its line, with backslash, line feed and carriage
// return written \\, \n and \r. The coverage factor has a column of its own.

#include <string>

#include "metrology/uncertainty_budget.h"

namespace trimwell {

std::string budgetText(const metrology::UncertaintyBudget& budget);

// Reads the contributions and correlations back (the coverage factor is left as
// it was); false, with what was read up to the first line that is not one of the
// two forms.
bool readBudgetText(const std::string& text, metrology::UncertaintyBudget& budget);

}  // namespace trimwell
