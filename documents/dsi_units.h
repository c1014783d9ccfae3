#pragma once
// A unit as a datasheet writes it ("°C", "µS/cm") in the notation of the Digital
// System of Units (D-SI 2.1.0), which digital calibration certificates state their
// quantities in: "\degreecelsius", "\micro\siemens\centi\metre\tothe{-1}".

#include <string>
#include <string_view>

namespace trimwell {

struct DsiUnit {
  std::string unit;  // the D-SI text
  // False for a unit D-SI has no form for ("counts", "pH", a sensor's own
  // units): the quantity is stated as a number of unit one ("\one"), and the
  // certificate keeps the datasheet's text beside it in the quantity's name, so
  // a reader still sees what the number counts.
  bool machineReadable = true;
  // False for a text the station knows neither in D-SI nor as a count of its own
  // (pH, raw counts): a DCC stops there, naming it, rather than call it "\one".
  bool known = true;
};

// The datasheet's unit text, trimmed of spaces at either end, in D-SI; "\one"
// (machine readable) for an empty text.
DsiUnit dsiUnit(std::string_view datasheetUnit);

}  // namespace trimwell
