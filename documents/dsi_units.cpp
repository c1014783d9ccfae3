#include "documents/dsi_units.h"

#include <array>
#include <utility>

namespace trimwell {
namespace {

// The units of the sensors the station knows, and the near ones a datasheet may
// write instead (an ASCII "u" or a Greek mu for micro, the one-character degree
// Celsius). Prefixes and exponents as D-SI writes them: a prefix stands before
// the unit it scales, \tothe{n} after the unit it raises.
constexpr std::array<std::pair<std::string_view, std::string_view>, 47> kUnits{{
    {"\xC2\xB0" "C", "\\degreecelsius"},  // °C
    {"\xE2\x84\x83", "\\degreecelsius"},  // ℃
    {"K", "\\kelvin"},
    {"%", "\\percent"},
    {"% RH", "\\percent"},
    {"%RH", "\\percent"},
    {"V", "\\volt"},
    {"mV", "\\milli\\volt"},
    {"\xC2\xB5" "V", "\\micro\\volt"},
    {"A", "\\ampere"},
    {"mA", "\\milli\\ampere"},
    {"\xC2\xB5" "A", "\\micro\\ampere"},
    {"nA", "\\nano\\ampere"},
    {"pA", "\\pico\\ampere"},
    {"S/m", "\\siemens\\metre\\tothe{-1}"},
    {"mS/cm", "\\milli\\siemens\\centi\\metre\\tothe{-1}"},
    {"\xC2\xB5" "S/cm", "\\micro\\siemens\\centi\\metre\\tothe{-1}"},  // µS/cm, micro sign
    {"\xCE\xBC" "S/cm", "\\micro\\siemens\\centi\\metre\\tothe{-1}"},  // μS/cm, Greek mu
    {"uS/cm", "\\micro\\siemens\\centi\\metre\\tothe{-1}"},
    {"Pa", "\\pascal"},
    {"hPa", "\\hecto\\pascal"},
    {"kPa", "\\kilo\\pascal"},
    {"MPa", "\\mega\\pascal"},
    {"g/L", "\\gram\\litre\\tothe{-1}"},
    {"mg/L", "\\milli\\gram\\litre\\tothe{-1}"},
    {"mg/l", "\\milli\\gram\\litre\\tothe{-1}"},
    {"\xC2\xB5" "g/L", "\\micro\\gram\\litre\\tothe{-1}"},
    {"mol/L", "\\mole\\litre\\tothe{-1}"},
    {"mmol/L", "\\milli\\mole\\litre\\tothe{-1}"},
    {"Hz", "\\hertz"},
    {"s", "\\second"},
    {"mm", "\\milli\\metre"},
    {"\xCE\xA9", "\\ohm"},            // Ω, Greek capital omega
    {"\xE2\x84\xA6", "\\ohm"},        // Ω, ohm sign
    {"m\xCE\xA9", "\\milli\\ohm"},
    {"k\xCE\xA9", "\\kilo\\ohm"},
    {"M\xCE\xA9", "\\mega\\ohm"},
    {"bar", "\\bar"},
    {"mbar", "\\milli\\bar"},
    {"kHz", "\\kilo\\hertz"},
    {"W", "\\watt"},
    {"mW", "\\milli\\watt"},
    {"lx", "\\lux"},
    {"m", "\\metre"},
    {"cm", "\\centi\\metre"},
    {"mol/m\xC2\xB3", "\\mole\\metre\\tothe{-3}"},
    {"kg", "\\kilogram"},
}};

// Counts of the sensor's own, which D-SI states as a number of unit one, named.
constexpr std::array<std::string_view, 5> kNamedCounts{{"pH", "counts", "count", "raw", "ppm"}};

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

DsiUnit dsiUnit(std::string_view datasheetUnit) {
  const std::string_view unit = trimmed(datasheetUnit);
  if (unit.empty()) return {"\\one", true};
  for (const auto& [text, dsi] : kUnits) {
    if (unit == text) return {std::string(dsi), true};
  }
  for (const std::string_view named : kNamedCounts) {
    if (unit == named) return {"\\one", false};
  }
  return {"\\one", false, false};
}

}  // namespace trimwell
