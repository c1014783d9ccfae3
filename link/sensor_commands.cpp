// The command set: one thin operation per vendor request of the interface and sensor.
#include <algorithm>
#include <array>
#include <cstring>

#include "link/device_link.h"
#include "platform/sleeper.h"

namespace trimwell {
namespace {

constexpr int kSensorIdAttempts = 5;
constexpr std::uint32_t kSensorIdPauseMs = 100;
constexpr int kHighestSensorId = 0x7000;  // exclusive
constexpr std::size_t kPortStatusLength = 16;
constexpr std::size_t kVersionRequestLength = 63;
constexpr int kGainInDataValue = kSensorCommandGain;
constexpr int kGainInValueBase = kSensorCommandGain << 8;

struct GainTable {
  int sensorId;
  bool inValue;
  std::initializer_list<int> codes;
};

const GainTable kGainTables[] = {
    // sensor  in value  gain code of each gain index 0, 1, ...
    {221,      true,     {1, 10, 100}},
    {235,      false,    {0x0001, 0x0020, 0x0101, 0x0120}},
    {243,      false,    {0x0001, 0x000A, 0x0064, 0x0101, 0x010A, 0x0164}},
};

int signed8(std::uint8_t byte) { return static_cast<std::int8_t>(byte); }
int signed16(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | p[1] << 8); }

}  // namespace

bool gainCommandFor(int sensorId, int gainIndex, GainCommand& out) {
  for (const GainTable& table : kGainTables) {
    if (table.sensorId != sensorId) continue;
    if (gainIndex < 0 || static_cast<std::size_t>(gainIndex) >= table.codes.size()) return false;
    out.inValue = table.inValue;
    out.code = table.codes.begin()[gainIndex];
    return true;
  }
  return false;
}

bool DeviceLink::readDatasheet(int port, std::uint8_t* buffer, std::size_t length, std::size_t* returnedOut) {
  return vendorRead(kRequestReadDatasheet, 0, port, buffer, length, returnedOut);
}

int DeviceLink::readSensorId(int port) {
  for (int attempt = 0; attempt < kSensorIdAttempts; ++attempt) {
    sleeper().sleep(kSensorIdPauseMs);
    std::array<std::uint8_t, 4> head{};
    std::size_t returned = 0;
    if (!readDatasheet(port, head.data(), head.size(), &returned) || returned < 2) continue;
    const int id = signed16(head.data());
    if (id > 0 && id < kHighestSensorId) return id;
  }
  return 0;
}

bool DeviceLink::writeDatasheet(int port, const std::uint8_t* image, std::size_t length) {
  return vendorWrite(kRequestWriteDatasheet, 0, port, image, length);
}

bool DeviceLink::readSample(int port, std::uint8_t* buffer, std::size_t length, std::size_t* returnedOut) {
  return vendorRead(kRequestReadSample, 0, port, buffer, length, returnedOut);
}

bool DeviceLink::setSampleConfig(int port, int samplingParameter, int sampleSize, int flagA, int flagB, int flagC,
                                 int parameterByte) {
  const std::array<std::uint8_t, 8> config = {
      static_cast<std::uint8_t>(samplingParameter), static_cast<std::uint8_t>(samplingParameter >> 8),
      static_cast<std::uint8_t>(sampleSize),        static_cast<std::uint8_t>(sampleSize >> 8),
      static_cast<std::uint8_t>(flagA != 0),        static_cast<std::uint8_t>(flagB != 0),
      static_cast<std::uint8_t>(flagC != 0),        static_cast<std::uint8_t>(parameterByte)};
  return vendorWrite(kRequestSampleConfig, 0, port, config.data(), config.size());
}

bool DeviceLink::writeInterfaceMemory(std::size_t length, std::uint32_t address, const std::uint8_t* bytes) {
  return vendorWrite(kRequestInterfaceMemory, static_cast<int>(address & 0xFFFF), static_cast<int>(address >> 16),
                     bytes, length);
}

bool DeviceLink::holdInterfaceProcessor(bool hold) {
  const std::uint8_t state = hold ? 1 : 0;
  return vendorWrite(kRequestInterfaceMemory, kProcessorResetAddress, 0, &state, 1);
}

bool DeviceLink::writeCalibration(int port, int blockSelector, const std::uint8_t* buffer, std::size_t length) {
  return vendorWrite(kRequestCalibration, blockSelector, port, buffer, length);
}

bool DeviceLink::readCalibration(int port, int blockSelector, std::uint8_t* buffer, std::size_t length,
                                 std::size_t* returnedOut) {
  if (buffer == nullptr) {
    if (returnedOut != nullptr) *returnedOut = 0;
    return false;
  }
  return vendorRead(kRequestCalibration, blockSelector, port, buffer, length, returnedOut);
}

bool DeviceLink::sendSensorCommand(int port, int command) {
  return vendorWrite(kRequestSensorCommand, command, port, nullptr, 0);
}

bool DeviceLink::sendSensorCommand(int port, int command, const std::uint8_t* data, std::size_t length) {
  return vendorWrite(kRequestSensorCommand, command & 0xFF, port, data, length & 0xFFFF);
}

bool DeviceLink::sendSensorCommand(int port, int highByte, int lowByte) {
  return vendorWrite(kRequestSensorCommand, (highByte & 0xFF) * 256 + (lowByte & 0xFF), port, nullptr, 0);
}

bool DeviceLink::readPortStatus(int port, PortStatus* out) {
  std::array<std::uint8_t, kPortStatusLength> reply{};
  const bool ok = vendorRead(kRequestPortStatus, 0, port, reply.data(), reply.size());
  if (ok && out != nullptr) {
    out->byte0 = signed8(reply[0]);
    out->byte1 = signed8(reply[1]);
    out->word2 = signed16(&reply[2]);
    out->word4 = signed16(&reply[4]);
    out->word6 = signed16(&reply[6]);
    out->word8 = signed16(&reply[8]);
    out->sensorAttached = signed8(reply[10]);
    out->byte11 = signed8(reply[11]);
    out->byte12 = signed8(reply[12]);
    out->byte13 = signed8(reply[13]);
    out->byte14 = signed8(reply[14]);
  }
  return ok;
}

int DeviceLink::isSensorAttached(int port) {
  PortStatus status;
  return readPortStatus(port, &status) ? status.sensorAttached : 0;
}

bool DeviceLink::readInterfaceVersion(int* majorOut, int* minorOut, char* textOut, std::size_t textMax) {
  std::array<std::uint8_t, 64> reply{};
  std::size_t returned = 0;
  const bool ok = vendorRead(kRequestInterfaceVersion, 0, 0, reply.data(), kVersionRequestLength, &returned);
  if (majorOut != nullptr) *majorOut = ok ? signed8(reply[0]) : 0;
  if (minorOut != nullptr) *minorOut = ok ? signed8(reply[1]) : 0;
  if (textOut != nullptr && textMax > 0 && returned > 0) {
    // Bytes from offset 2 on; never more than the reply buffer holds past it.
    const std::size_t count = std::min({textMax, returned, reply.size() - 2});
    std::memcpy(textOut, reply.data() + 2, count);
  }
  return ok;
}

bool DeviceLink::setSensorPower(bool on) {
  return vendorRead(kRequestSensorPower, on ? 1 : 0, 0, nullptr, 0);
}

bool DeviceLink::sendGain(int port, int sensorId, int gainIndex) {
  GainCommand gain;
  if (!gainCommandFor(sensorId, gainIndex, gain)) return false;
  if (gain.inValue) return sendSensorCommand(port, (kGainInValueBase + gain.code) >> 8, gain.code & 0xFF);
  const std::array<std::uint8_t, 2> code = {static_cast<std::uint8_t>(gain.code),
                                            static_cast<std::uint8_t>(gain.code >> 8)};
  return sendSensorCommand(port, kGainInDataValue, code.data(), code.size());
}

}  // namespace trimwell
