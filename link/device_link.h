#pragma once
// The transport to one sensor interface, and the command set spoken through it.
//
// Interfaces 0 to 8 are USB interfaces reached through the USB driver layer;
// interface 9 is the wireless interface behind the serial bridge, which answers the
// same control requests. No operation shows anything: each answers bool and leaves
// the reason in lastError (0 after a good descriptor read, 1 when no descriptor
// buffer was given, 2 when fewer than 18 descriptor bytes came back, otherwise the
// system's error code).

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/requests.h"
#include "platform/usb_driver.h"

namespace trimwell {

constexpr int kWirelessInterface = 9;
constexpr std::uint16_t kSupportedInterfaceMaskDefault = 0xFFFF;

// Every bit set: all interface products of the acceptance table, and interface 9.
extern const std::uint16_t supportedInterfaceMask;
bool isSupportedInterface(std::uint16_t vendorId, std::uint16_t productId);

std::string devicePath(int interfaceNumber);

constexpr int kProcessorResetAddress = 0x7F92;
constexpr int kCalibrationBlockSelector = 1;

// Request 0xF1's 16 bytes as signed fields; only sensorAttached is used by the station.
struct PortStatus {
  int byte0 = 0, byte1 = 0;
  int word2 = 0, word4 = 0, word6 = 0, word8 = 0;
  int sensorAttached = 0;  // byte 10
  int byte11 = 0, byte12 = 0, byte13 = 0, byte14 = 0;
};

class DeviceLink {
 public:
  DeviceLink() = default;
  virtual ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  // ---- device access ----
  bool open(int number);
  // Whether interface `number` can be opened; with identify, also whether its
  // descriptor names a supported interface. Leaves nothing open.
  static bool probe(int number, bool identify, std::uint16_t* vendorOut = nullptr,
                    std::uint16_t* productOut = nullptr);
  bool close();
  bool isAlive();
  bool getDeviceDescriptor(std::uint8_t* buffer);  // 18 bytes
  bool getIds(std::uint16_t* vendorOut, std::uint16_t* productOut);
  bool vendorRead(int request, int value, int index, std::uint8_t* buffer, std::size_t length,
                  std::size_t* returnedOut = nullptr);
  bool vendorWrite(int request, int value, int index, const std::uint8_t* buffer, std::size_t length);
  bool control(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
               std::size_t outputLength, std::size_t* returnedOut = nullptr);
  bool isOpen() const { return handle_ != kInvalidHandle; }

  // ---- command set ----
  bool readDatasheet(int port, std::uint8_t* buffer, std::size_t length, std::size_t* returnedOut = nullptr);
  // The sensor's ID, or 0 when five tries (each after 100 ms) gave none in 1..0x6FFF.
  int readSensorId(int port);
  bool writeDatasheet(int port, const std::uint8_t* image, std::size_t length);
  bool readSample(int port, std::uint8_t* buffer, std::size_t length, std::size_t* returnedOut = nullptr);
  bool setSampleConfig(int port, int samplingParameter, int sampleSize, int flagA, int flagB, int flagC,
                       int parameterByte);
  bool writeInterfaceMemory(std::size_t length, std::uint32_t address, const std::uint8_t* bytes);
  bool holdInterfaceProcessor(bool hold);
  bool writeCalibration(int port, int blockSelector, const std::uint8_t* buffer, std::size_t length);
  bool readCalibration(int port, int blockSelector, std::uint8_t* buffer, std::size_t length,
                       std::size_t* returnedOut = nullptr);
  bool sendSensorCommand(int port, int command);
  bool sendSensorCommand(int port, int command, const std::uint8_t* data, std::size_t length);
  bool sendSensorCommand(int port, int highByte, int lowByte);
  bool readPortStatus(int port, PortStatus* out);
  int isSensorAttached(int port);
  // major and minor are written whatever the result (0 after a failure); textOut
  // gets up to textMax bytes of the reply's text, as they came (not ended).
  bool readInterfaceVersion(int* majorOut, int* minorOut, char* textOut = nullptr, std::size_t textMax = 0);
  bool setSensorPower(bool on);
  // The gain code of gainIndex for this kind of sensor; false, sending nothing, for
  // an index or a sensor the table does not hold.
  bool sendGain(int port, int sensorId, int gainIndex);

  int interfaceNumber = 0;
  std::uint32_t lastError = 0;

 protected:
  DeviceHandle handle_ = kInvalidHandle;

 private:
  static DeviceHandle openHandle(int number, std::uint32_t& error);
};

// How a gain index travels for a sensor: in the command's value or as two data bytes.
struct GainCommand {
  bool inValue = false;
  int code = 0;
};
bool gainCommandFor(int sensorId, int gainIndex, GainCommand& out);

}  // namespace trimwell
