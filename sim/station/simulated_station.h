#pragma once
// The whole station on simulated hardware: the dialog logic on its controls, the
// simulated driver with interface 0, a wireless interface on a pseudo-terminal
// that the station reaches through its real serial bridge, and a virtual clock for
// every wait. The GUI and the headless script runner both drive it.

#include <functional>
#include <memory>
#include <string>

#include "app/calibration_dialog.h"
#include "app/wireless_port.h"
#include "link/serial_bridge.h"
#include "platform/termios_port.h"
#include "platform/window_controls.h"
#include "sim/reference_instrument.h"
#include "sim/simulated_driver.h"
#include "sim/virtual_clock.h"
#include "sim/wireless_interface.h"

namespace trimwell::sim {

class SimulatedStation {
 public:
  // currentUser: where the wireless port is kept (else a store in memory).
  SimulatedStation(WindowControls& controls, Registry& settings, DialogPaths paths = {},
                   Registry* currentUser = nullptr);
  ~SimulatedStation();

  // Plugs a Dockmon-like interface in as number 0, with any sensor set aside for it.
  SimulatedInterface& plugInterface(std::uint16_t product, int major, int minor);
  void unplugInterface();
  // The sensor goes into the USB interface if one is plugged, else into the
  // wireless interface if it is on, else it waits for one. False when the file
  // cannot be read.
  bool plugSensor(const std::string& datasheetFile);
  void unplugSensor();
  SimulatedInterface* interface() const { return driver_.at(0); }
  // The sensor in the USB interface, or the one waiting for an interface.
  SimulatedSensor* sensor() const;
  // Runs fn on the sensor wherever it is (or nullptr), the wireless one included.
  void withSensor(const std::function<void(SimulatedSensor*)>& fn);

  // Switches the wireless interface on, on a new pseudo-terminal (false when none
  // can be had), with the waiting sensor in it if no USB interface is plugged; off
  // takes its sensor out to wait again.
  bool switchWirelessOn(std::uint8_t interfaceVersion = SerialBridge::kBlockInterfaceVersion);
  void switchWirelessOff();
  WirelessInterface* wireless() const { return wireless_.get(); }
  WirelessPort& wirelessPort() { return wirelessPort_; }

  // The bench's reference instrument (off until switched on).
  ReferenceInstrument& referenceInstrument() { return reference_; }

  void tick();
  CalibrationDialog& dialog() { return *dialog_; }
  VirtualClock& clock() { return clock_; }

 private:
  SimulatedDriver driver_;
  UsbDriverScope driverScope_;
  VirtualClock clock_;
  SleeperScope sleeperScope_;
  std::unique_ptr<SimulatedSensor> waitingSensor_;
  MemoryRegistry ownUser_;
  TermiosPort serialPort_;
  SerialBridge bridge_;
  SerialBridge* previousBridge_;
  WirelessPort wirelessPort_;
  std::unique_ptr<WirelessInterface> wireless_;
  ReferenceInstrument reference_;
  std::unique_ptr<CalibrationDialog> dialog_;
};

}  // namespace trimwell::sim
