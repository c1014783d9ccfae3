#pragma once
// Numbers the operator types into the point fields. A value counts only when the
// whole field is one number: "12abc" is no reference value, and taking it as 12
// would put a wrong calibration into the sensor.

#include <string>
#include <vector>

namespace trimwell {

// Why a field is no number, for the message that names it.
enum class TypedRefusal {
  kNone,
  kNotANumber,
  // "+-5": which sign was meant?
  kTwoSigns,
  // "1,000": a thousands separator or a decimal comma?
  kAmbiguousComma,
};

// Reads a decimal number (a decimal comma counts as a point, in every locale) or
// 0x followed by hexadecimal digits, a 32-bit two's-complement value that is 16.16
// fixed point when fixedPoint is set. Spaces and tabs around it are ignored.
// False, with value 0, for anything else, an empty field included; refusal (when
// given) then says why.
bool parseTypedNumber(const std::string& text, bool fixedPoint, double& value, TypedRefusal* refusal = nullptr);

// A list of measurement IDs as typed: whole numbers from 0 to 65535, parted by
// commas, spaces around them ignored. False when anything else is in it; refused
// then names each item that is no ID, quoted. An empty text is an empty list.
bool readMeasurementIds(const std::string& text, std::vector<int>& ids, std::string& refused);
// What the operator is told of the IDs readMeasurementIds refused.
std::string measurementIdsRefusal(const std::string& refused);

// The field's value, or 0 for a field that holds no number.
double typedValue(const std::string& text, bool fixedPoint);

// The refusal in words, to follow the field's name: "is not a number", ...
std::string refusalText(TypedRefusal refusal);

}  // namespace trimwell
