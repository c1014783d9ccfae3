#include "app/dialog_scanner.h"

#include "app/calibration_dialog.h"

namespace trimwell {

void DialogScanner::OnScanEvent(int event, void* context, SensorInterface* interface, Datasheet* datasheet,
                                int index) {
  static_cast<CalibrationDialog*>(context)->OnSensorEvent(event, interface, datasheet, index);
}

void DialogScanner::scanStation(void* context, bool wirelessChosen) {
  const bool wirelessInUse = entry(kWirelessInterface).interface != nullptr;
  if (!wirelessInUse) Scan(context, 2);
  if (entry(0).interface == nullptr && (wirelessChosen || wirelessInUse)) {
    scanNumber(context, kWirelessInterface, 2);
  }
}

}  // namespace trimwell
