#pragma once
// A simulated USB sensor interface (a Dockmon by default) with one sensor port.
//
// It answers the driver's three control codes as the real interface would, keeps a
// log of every request, and fails, shortens or corrupts requests on demand so that
// each failure path of the station can be reached.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "link/vendor_request.h"
#include "sim/simulated_sensor.h"

namespace trimwell::sim {

// Fault keys: a vendor request code, or one of these for the other control codes.
constexpr int kFaultDescriptor = 0x100;
constexpr int kFaultPresence = 0x101;

struct LoggedRequest {
  std::uint32_t controlCode = 0;
  VendorRequestBlock block;   // for vendor requests
  std::size_t length = 0;     // data length asked for
  std::vector<std::uint8_t> data;  // bytes written, or bytes returned by a read
  bool ok = false;
};

class SimulatedInterface {
 public:
  static constexpr std::size_t kProgramMemorySize = 0x10000;

  SimulatedInterface(std::uint16_t vendorId = 0x7A3C, std::uint16_t productId = 0x0002, int firmwareMajor = 1,
                     int firmwareMinor = 8);

  void plugSensor(std::unique_ptr<SimulatedSensor> sensor) { sensor_ = std::move(sensor); }
  std::unique_ptr<SimulatedSensor> unplugSensor() { return std::move(sensor_); }
  SimulatedSensor* sensor() const { return sensor_.get(); }

  // The next n requests with this key (after letting `after` of them pass) fail /
  // come back one byte short / store a changed byte (writes only).
  void failNext(int key, int n = 1, int after = 0) { faults_[key].fail = {n, after}; }
  void shortNext(int key, int n = 1, int after = 0) { faults_[key].shorten = {n, after}; }
  void corruptNext(int key, int n = 1, int after = 0) { faults_[key].corrupt = {n, after}; }

  // True once after the interface started downloaded firmware: a real one leaves
  // the bus then and comes back as a new device.
  bool takeReattach() { return std::exchange(reattach_, false); }

  bool handle(std::uint32_t controlCode, const std::uint8_t* input, std::size_t inputLength, std::uint8_t* output,
              std::size_t outputLength, std::size_t& returned, std::uint32_t& error);

  std::vector<LoggedRequest> log;
  bool keepLog = true;
  std::uint16_t vendorId;
  std::uint16_t productId;
  int firmwareMajor;
  int firmwareMinor;
  // False for firmware that never answers the version request (it times out).
  bool answersVersion = true;
  bool processorHeld = false;
  bool sensorPowered = true;
  std::size_t sampleSize = 2;
  std::vector<std::uint8_t> programMemory;

 private:
  struct Fault {
    int count = 0;
    int skip = 0;
  };
  struct Faults {
    Fault fail;
    Fault shorten;
    Fault corrupt;
  };
  bool take(int key, Fault Faults::*which);
  bool vendorRequest(const VendorRequestBlock& block, std::uint8_t* data, std::size_t length, std::size_t& returned,
                     std::uint32_t& error);
  bool sensorRequest(const VendorRequestBlock& block, std::uint8_t* data, std::size_t length, std::size_t& returned,
                     std::uint32_t& error);
  bool interfaceMemory(const VendorRequestBlock& block, const std::uint8_t* data, std::size_t length,
                       std::uint32_t& error);
  void startDownloadedFirmware();

  std::unique_ptr<SimulatedSensor> sensor_;
  std::map<int, Faults> faults_;
  bool memoryWritten_ = false;
  bool reattach_ = false;
};

}  // namespace trimwell::sim
