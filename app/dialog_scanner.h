#pragma once
// The dialog's scanner: hands every event to the dialog given as the scan's context.

#include "app/sensor_scanner.h"

namespace trimwell {

class DialogScanner final : public SensorScanner {
 public:
  DialogScanner() : SensorScanner(1) {}
  void OnScanEvent(int event, void* context, SensorInterface* interface, Datasheet* datasheet, int index) override;
  // Interface 0, and the wireless interface while no USB interface is on 0 and a
  // wireless port is chosen. Whichever of them is found first stays the station's
  // until it goes, so that plugging the other does not end a calibration.
  void scanStation(void* context, bool wirelessChosen);
};

}  // namespace trimwell
