#pragma once
// The whole station on simulated hardware: the dialog logic on its controls, the
// simulated driver with interface 0, and a virtual clock for every wait. The GUI
// and the headless script runner both drive it.

#include <memory>
#include <string>

#include "app/calibration_dialog.h"
#include "platform/window_controls.h"
#include "sim/simulated_driver.h"
#include "sim/virtual_clock.h"

namespace trimwell::sim {

class SimulatedStation {
 public:
  SimulatedStation(WindowControls& controls, Registry& settings, DialogPaths paths = {});
  ~SimulatedStation();

  // Plugs a Dockmon-like interface in as number 0, with any sensor set aside for it.
  SimulatedInterface& plugInterface(std::uint16_t product, int major, int minor);
  void unplugInterface();
  // False when the file cannot be read.
  bool plugSensor(const std::string& datasheetFile);
  void unplugSensor();
  SimulatedInterface* interface() const { return driver_.at(0); }
  // The sensor in the interface, or the one waiting for an interface.
  SimulatedSensor* sensor() const;

  void tick();
  CalibrationDialog& dialog() { return *dialog_; }
  VirtualClock& clock() { return clock_; }

 private:
  SimulatedDriver driver_;
  UsbDriverScope driverScope_;
  VirtualClock clock_;
  SleeperScope sleeperScope_;
  std::unique_ptr<SimulatedSensor> waitingSensor_;
  std::unique_ptr<CalibrationDialog> dialog_;
};

}  // namespace trimwell::sim
