#pragma once
// Numbers the operator types into the point fields. A value counts only when the
// whole field is one number: "12abc" is no reference value, and taking it as 12
// would put a wrong calibration into the sensor.

#include <string>

namespace trimwell {

// Reads a decimal number (a decimal comma counts as a point, in every locale) or
// 0x followed by hexadecimal digits, a 32-bit two's-complement value that is 16.16
// fixed point when fixedPoint is set. Spaces and tabs around it are ignored.
// False, with value 0, for anything else, an empty field included.
bool parseTypedNumber(const std::string& text, bool fixedPoint, double& value);

}  // namespace trimwell
