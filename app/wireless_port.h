#pragma once
// The operator's choice of the serial port the wireless interface sits on: the
// ports this computer has, the choice kept where the bridge reads it (the user's
// store, VentrixPort's default value), and what went wrong in words an operator
// can act on.

#include <string>
#include <vector>

#include "link/serial_bridge.h"
#include "platform/registry.h"

namespace trimwell {

// The serial ports under root ("" for this computer): every tty with a device
// behind it, named by its /dev/serial/by-id link where it has one (a name that
// stays with the adapter whatever order things are plugged in), else as /dev/NAME.
// A built-in UART that the kernel found no chip for is left out.
std::vector<std::string> listSerialPorts(const std::string& root = "");

// Words for a port that could not be opened (error: an errno value); port names
// what it is for.
std::string portOpenProblem(const std::string& path, int error, const char* port = "the wireless port");

// What to do about a port chosen by its /dev/pts name that has closed (such a name
// is the next program's), said by each part that watches one.
inline constexpr const char* kClosedPseudoTerminalAdvice =
    "a new one by that name belongs to another program. Start what made the port again, then choose its port";

class WirelessPort {
 public:
  static constexpr const char* kNone = "none";

  // Reads the choice kept from an earlier run.
  WirelessPort(Registry& currentUser, SerialBridge& bridge);

  // The chosen port as stored (a device path), or empty.
  const std::string& chosen() const { return chosen_; }
  // The device the chosen port names, as the bridge opens it.
  std::string devicePath() const;
  // The choices to offer: "none", the system's ports, and the chosen one and any
  // extra ones (a bench's) where the system list lacks them.
  std::vector<std::string> choices(const std::string& root = "") const;
  std::vector<std::string> extraPorts;

  // Keeps the choice (kNone or empty: no wireless interface) and connects to the
  // interface on it at once; false, with problem(), when none answers there.
  bool choose(const std::string& port);
  // Tries the chosen port now, as a choice would; false with problem().
  bool connect();
  // Called while the station looks for the wireless interface: when a port that
  // was missing has appeared (an adapter plugged back in), it is tried again; so
  // is one whose interface stopped answering (a radio out of reach, switched off),
  // every kRetrySeconds, until it answers again. A pseudo-terminal that closes is
  // not tried again: its name is the next program's.
  void watch();
  static constexpr double kRetrySeconds = 2.0;

  bool connected() const { return bridge_.connected(); }
  const std::string& problem() const { return problem_; }

 private:
  bool portExists() const;
  void retry();

  Registry& registry_;
  SerialBridge& bridge_;
  std::string chosen_;
  std::string problem_;
  // Whether the chosen port's device was there when last looked at.
  bool portSeen_ = false;
  // The chosen port was a pseudo-terminal and it closed; set until a new choice.
  bool closedPseudoTerminal_ = false;
  // When the chosen port was last tried, on the station's clock.
  double lastTry_ = -kRetrySeconds;
};

}  // namespace trimwell
