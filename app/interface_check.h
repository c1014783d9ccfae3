#pragma once
// What an interface is and runs, checked as it comes: its product and firmware
// version for the records and the information strip, an old Dockmon's firmware
// updated on the way, and what the update came to on the result line.

#include <string>

#include "calibration/calibration_session.h"
#include "link/firmware_update.h"
#include "link/sensor_interface.h"
#include "platform/window_controls.h"

namespace trimwell {

class InterfaceCheck {
 public:
  InterfaceCheck(WindowControls& controls, std::string firmwareFile)
      : controls_(controls), firmwareFile_(std::move(firmwareFile)) {}

  // Fills in the session's interface product and firmware version.
  void identify(SensorInterface& interface, CalibrationSession& session, const MessageBoxFn& showMessage,
                const FirmwareProgressFn& progress);
  // A download failed part-way: the interface needs plugging again.
  bool firmwareFailed() const { return firmwareFailed_; }
  // The interface went: what it was is no longer the session's.
  void forget(CalibrationSession& session);

 private:
  void report(bool downloaded, const std::string& version);

  WindowControls& controls_;
  std::string firmwareFile_;
  // The version a download started from, until the interface is back with the new one.
  std::string updatedFrom_;
  // Kept for the whole run: a file that left the interface old is not sent again.
  FirmwareHistory history_;
  bool firmwareFailed_ = false;
};

}  // namespace trimwell
