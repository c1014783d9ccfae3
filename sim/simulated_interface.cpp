#include "sim/simulated_interface.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "link/device_link.h"
#include "platform/usb_driver.h"

namespace trimwell::sim {
namespace {

constexpr char kFirmwareBanner[] = "Dockmon firmware ";
constexpr std::size_t kPortStatusLength = 16;

bool isRead(const VendorRequestBlock& block) { return block.direction == VendorRequestBlock::kDeviceToHost; }

}  // namespace

SimulatedInterface::SimulatedInterface(std::uint16_t vendor, std::uint16_t product, int major, int minor)
    : vendorId(vendor), productId(product), firmwareMajor(major), firmwareMinor(minor),
      programMemory(kProgramMemorySize, 0) {}

bool SimulatedInterface::take(int key, Fault Faults::*which) {
  auto it = faults_.find(key);
  if (it == faults_.end()) return false;
  Fault& fault = it->second.*which;
  if (fault.count <= 0) return false;
  if (fault.skip > 0) {
    --fault.skip;
    return false;
  }
  --fault.count;
  return true;
}

bool SimulatedInterface::handle(std::uint32_t code, const std::uint8_t* input, std::size_t inputLength,
                                std::uint8_t* output, std::size_t outputLength, std::size_t& returned,
                                std::uint32_t& error) {
  returned = 0;
  LoggedRequest entry;
  entry.controlCode = code;
  entry.length = outputLength;
  bool ok = false;
  const bool isVendor = code == kControlVendorRequest && input != nullptr && inputLength >= kVendorRequestBlockLength;
  if (isVendor) {
    entry.block = VendorRequestBlock::fromBytes(input);
    if (!isRead(entry.block) && output != nullptr) entry.data.assign(output, output + outputLength);
  }
  const int key = isVendor ? entry.block.request : code == kControlGetDescriptor ? kFaultDescriptor : kFaultPresence;
  if (take(key, &Faults::fail)) {
    error = EIO;
  } else if (code == kControlGetDescriptor) {
    const std::uint8_t descriptor[kDeviceDescriptorLength] = {
        18, 1, 0x00, 0x02, 0xFF, 0xFF, 0xFF, 64, static_cast<std::uint8_t>(vendorId),
        static_cast<std::uint8_t>(vendorId >> 8), static_cast<std::uint8_t>(productId),
        static_cast<std::uint8_t>(productId >> 8), static_cast<std::uint8_t>(firmwareMinor),
        static_cast<std::uint8_t>(firmwareMajor), 1, 2, 0, 1};
    returned = std::min(outputLength, kDeviceDescriptorLength);
    if (output != nullptr) std::memcpy(output, descriptor, returned);
    ok = true;
  } else if (code == kControlPresence) {
    returned = std::min<std::size_t>(outputLength, 4);
    ok = true;
  } else if (isVendor) {
    ok = vendorRequest(entry.block, output, outputLength, returned, error);
  } else {
    error = EINVAL;
  }
  if (ok && take(key, &Faults::shorten) && returned > 0) --returned;
  if (!ok) {
    returned = 0;
  } else if (isRead(entry.block) && output != nullptr && code == kControlVendorRequest) {
    entry.data.assign(output, output + returned);
  }
  entry.ok = ok;
  if (keepLog) log.push_back(std::move(entry));
  return ok;
}

bool SimulatedInterface::vendorRequest(const VendorRequestBlock& block, std::uint8_t* data, std::size_t length,
                                       std::size_t& returned, std::uint32_t& error) {
  if (block.request == kRequestInterfaceMemory && !isRead(block)) {
    if (!interfaceMemory(block, data, length, error)) return false;
    returned = length;
    return true;
  }
  if (processorHeld) {
    error = ETIMEDOUT;  // a processor in reset answers nothing
    return false;
  }
  switch (block.request) {
    case kRequestInterfaceVersion: {
      if (!isRead(block)) break;
      if (!answersVersion) {
        error = ETIMEDOUT;
        return false;
      }
      std::uint8_t reply[64] = {static_cast<std::uint8_t>(firmwareMajor), static_cast<std::uint8_t>(firmwareMinor)};
      std::snprintf(reinterpret_cast<char*>(reply + 2), sizeof reply - 2, "Dockmon %d.%d", firmwareMajor,
                    firmwareMinor);
      returned = std::min(length, sizeof reply);
      if (data != nullptr) std::memcpy(data, reply, returned);
      return true;
    }
    case kRequestPortStatus: {
      if (!isRead(block)) break;
      std::uint8_t reply[kPortStatusLength] = {};
      reply[10] = sensor_ ? 1 : 0;
      returned = std::min(length, sizeof reply);
      if (data != nullptr) std::memcpy(data, reply, returned);
      return true;
    }
    case kRequestSensorPower:
      if (!isRead(block)) break;
      sensorPowered = block.value != 0;
      return true;
    case kRequestSampleConfig:
      if (isRead(block) || length != 8 || data == nullptr) break;
      sampleSize = static_cast<std::size_t>(data[2] | data[3] << 8);
      returned = length;
      return true;
    default:
      return sensorRequest(block, data, length, returned, error);
  }
  error = EPIPE;
  return false;
}

bool SimulatedInterface::sensorRequest(const VendorRequestBlock& block, std::uint8_t* data, std::size_t length,
                                       std::size_t& returned, std::uint32_t& error) {
  if (!sensor_ || !sensorPowered) {
    error = ETIMEDOUT;  // nobody answers on the sensor port
    return false;
  }
  const bool corrupt = !isRead(block) && length > 0 && take(block.request, &Faults::corrupt);
  std::vector<std::uint8_t> written;
  if (!isRead(block) && data != nullptr) {
    written.assign(data, data + length);
    if (corrupt) written[length / 2] ^= 0x5A;
  }
  switch (block.request) {
    case kRequestReadDatasheet:
      if (!isRead(block) || data == nullptr) break;
      sensor_->readDatasheet(data, length, returned);
      return true;
    case kRequestWriteDatasheet:
      if (isRead(block)) break;
      sensor_->writeDatasheet(written.data(), written.size());
      returned = length;
      return true;
    case kRequestReadSample:
      if (!isRead(block) || data == nullptr) break;
      sensor_->readSample(sampleSize, data, length, returned);
      return true;
    case kRequestCalibration:
      if (block.value != kCalibrationBlockSelector) break;
      if (isRead(block)) {
        if (data == nullptr) break;
        sensor_->readCalibration(data, length, returned);
      } else {
        sensor_->writeCalibration(written.data(), written.size());
        returned = length;
      }
      return true;
    case kRequestSensorCommand:
      if (isRead(block)) break;
      sensor_->command(block.value, written.data(), written.size());
      returned = length;
      return true;
    default:
      break;
  }
  error = EPIPE;  // the request is stalled: not one the interface knows
  return false;
}

bool SimulatedInterface::interfaceMemory(const VendorRequestBlock& block, const std::uint8_t* data,
                                         std::size_t length, std::uint32_t& error) {
  if (block.value == kProcessorResetAddress && block.index == 0 && length == 1 && data != nullptr) {
    const bool hold = data[0] != 0;
    if (processorHeld && !hold && memoryWritten_) {
      startDownloadedFirmware();
      reattach_ = true;
    }
    processorHeld = hold;
    if (hold) memoryWritten_ = false;
    return true;
  }
  const std::size_t address = static_cast<std::size_t>(block.index) << 16 | block.value;
  if (!processorHeld || data == nullptr || address + length > programMemory.size()) {
    error = EPIPE;
    return false;
  }
  std::memcpy(programMemory.data() + address, data, length);
  memoryWritten_ = true;
  return true;
}

// The image names its version in a banner; a running image reports it.
void SimulatedInterface::startDownloadedFirmware() {
  const auto at = std::search(programMemory.begin(), programMemory.end(), std::begin(kFirmwareBanner),
                              std::end(kFirmwareBanner) - 1);
  if (at == programMemory.end()) return;
  char version[8] = {};
  const auto from = at + static_cast<long>(sizeof kFirmwareBanner - 1);
  std::copy(from, from + std::min<long>(programMemory.end() - from, 7), version);
  int major = 0, minor = 0;
  if (std::sscanf(version, "%2d.%2d", &major, &minor) == 2) {
    firmwareMajor = major;
    firmwareMinor = minor;
  }
}

}  // namespace trimwell::sim
