#pragma once
// What a datasheet image must be to go into a sensor, checked before anything is
// written: no longer than the sensor holds, and nothing of the datasheet as it was
// read lost or changed but the operator's constants.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/calibration_session.h"

namespace trimwell {

// The most the sensor holds: its own length limit as it was read from it, the limit
// of the datasheet to be written, and what the scanner reads of any sensor.
std::size_t sensorLengthLimit(const CalibrationSession& session);

// False, with the operator's message in why, for an image longer than that.
bool imageFitsSensor(const CalibrationSession& session, std::size_t length, std::string& why);

// The encoded image must be the datasheet's image as read with its constants as they
// are now; then image becomes that, the reference of the read-back. False, with the
// part that would change named in why, when it is not. A datasheet made in code has
// nothing read to keep and passes.
bool keepsImageAsRead(const Datasheet& datasheet, std::vector<std::uint8_t>& image, std::string& why);

}  // namespace trimwell
