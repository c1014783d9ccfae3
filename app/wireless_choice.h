#pragma once
// The operator's choice of the wireless interface's port, as the window offers it.
// Without a wireless port (a USB-only station) every call does nothing.

#include <functional>
#include <string>

#include "app/wireless_port.h"
#include "platform/window_controls.h"

namespace trimwell {

class WirelessChoice {
 public:
  WirelessChoice(WindowControls& controls, WirelessPort* port) : controls_(controls), port_(port) {}

  const WirelessPort* port() const { return port_; }
  // Whether a port is chosen, so that the scanner looks at it.
  bool chosen() const { return port_ != nullptr && !port_->chosen().empty(); }
  // Shows the chooser (when there is a port) and tries the stored port once, so
  // that what is wrong with it shows at once.
  void start();
  // Offers the serial ports the system has now.
  void refresh();
  // Looks for the chosen port's device coming back, or its interface answering
  // again, while no interface is in use. True when what the strip says of the
  // port has changed.
  bool watch();
  // Takes the operator's choice from the chooser. letGo closes the interface on the
  // port in use first. False, with the reason, when nothing answers on the new one.
  bool take(const std::function<void()>& letGo, std::string& problem);

 private:
  WindowControls& controls_;
  WirelessPort* port_;
};

}  // namespace trimwell
