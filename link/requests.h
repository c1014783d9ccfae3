#pragma once
// The vendor requests of the command set, in one place: their codes, the names the
// bench's fault menu shows, and which of them write the sensor's EEPROM. The USB
// interfaces take these codes in the request block; the wireless interface takes
// most of them as line commands too, with a few of its own beside them.

#include <cstdint>
#include <span>

namespace trimwell {

enum Request : int {
  kRequestReadDatasheet = 0x01,
  kRequestWriteDatasheet = 0x02,
  kRequestReadSample = 0x21,
  kRequestSampleConfig = 0x81,
  kRequestInterfaceMemory = 0xA0,
  kRequestCalibration = 0xC3,
  kRequestSensorCommand = 0xC6,
  kRequestPortStatus = 0xF1,
  kRequestInterfaceVersion = 0xF2,
  kRequestSensorPower = 0xFA,
};

// Commands for the sensor itself, in request 0xC6's value.
constexpr int kSensorCommandInit = 6;
constexpr int kSensorCommandGain = 9;  // the gain code follows as two data bytes, or in the value's low byte

struct RequestInfo {
  Request code;
  const char* name;
  // Sent to the device, the request's data goes into the sensor's EEPROM, which
  // takes its time per page: the driver waits longer for these.
  bool writesEeprom;
};

// Every request, in code order.
std::span<const RequestInfo> requestTable();
// The request's name, or nullptr for a code the command set does not have.
const char* requestName(int code);
// Whether a request with this code and direction writes the sensor's EEPROM.
bool writesEeprom(int code, bool hostToDevice);

// The wireless interface's line commands that are no request of their own: the
// others travel under their request's code (0xF2 the version, 0xC6 a byte for the
// sensor, 0x21 after it selects the sample, ...).
enum BridgeCommand : std::uint8_t {
  kBridgeConnectCheck = 0x84,
  kBridgeWordCommand = 0xC7,   // a sensor command or data pair in two bytes
  kBridgeBlockIn = 0xC8,       // the interface sends a block of the asked length
  kBridgeBlockOut = 0xC9,      // a block of data follows (interface version 0x40 on)
  kBridgeCalibrationIn = 0xCB, // the head of a calibration read
};

}  // namespace trimwell
