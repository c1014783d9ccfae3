#pragma once
// One tick's sampling of the sensor in use: a sample block read (sixteen and
// averaged with Data Averaging), stamped with the station's clock and handed to
// the converters.

#include <cstddef>

#include "calibration/calibration_session.h"

namespace trimwell {

inline constexpr std::size_t kSampleBufferSize = 32;
inline constexpr int kAveragedReads = 16;

// time: seconds since the sensor was taken up. False when a block came back short
// or not at all; what did come has been processed.
bool readSamples(CalibrationSession& session, double time);

}  // namespace trimwell
