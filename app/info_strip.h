#pragma once
// The information strip's lines in plain words: the interface (kind, product,
// firmware, where), the sensor (ID, datasheet name and version) with what the
// status line means, and the datasheet's own hint for its model.

#include <string>

#include "app/station_states.h"
#include "app/wireless_port.h"
#include "calibration/calibration_session.h"

namespace trimwell {

struct StationView {
  const CalibrationSession& session;
  // The number of the interface the station works with (0, or the wireless one's),
  // or -1.
  int interfaceInUse;
  const WirelessPort* wireless;  // nullptr for a USB-only station
  bool firmwareFailed;           // a download failed part-way: plug the interface again
  StationState state;
};

std::string stripText(const StationView& view);

// The About box's text: the station's version and when it was built.
std::string stationAbout();

}  // namespace trimwell
