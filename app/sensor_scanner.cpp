#include "app/sensor_scanner.h"

#include <vector>

namespace trimwell {

SensorScanner::SensorScanner(int interfaceCount)
    : interfaceCount_(interfaceCount >= 1 && interfaceCount <= kMaxInterfaces ? interfaceCount : kMaxInterfaces) {}

SensorScanner::~SensorScanner() {
  // Interfaces first (stopping their workers, closing their devices), then datasheets.
  for (InterfaceEntry& entry : entries_) {
    entry.interface.reset();
    for (SensorPort& port : entry.ports) port.datasheet.reset();
  }
}

void SensorScanner::OnScanEvent(int, void*, SensorInterface*, Datasheet*, int) {}

void SensorScanner::RequestReread(int interfaceNumber, int port) {
  if (interfaceNumber < 0 || interfaceNumber >= kMaxInterfaces) return;
  InterfaceEntry& entry = entries_[static_cast<std::size_t>(interfaceNumber)];
  // Beyond the scanned numbers, only an interface that scanNumber found.
  if (interfaceNumber >= interfaceCount_ && !entry.interface) return;
  if (port < 0 || port >= entry.portCount) return;
  entry.ports[static_cast<std::size_t>(port)].rereadRequested = true;
}

int SensorScanner::Scan(void* context, int depth) {
  for (int number = 0; number < interfaceCount_; ++number) scanNumber(context, number, depth);
  return interfaceCount_;
}

void SensorScanner::scanNumber(void* context, int number, int depth) {
  if (number < 0 || number >= kMaxInterfaces) return;
  InterfaceEntry& entry = entries_[static_cast<std::size_t>(number)];
  if (!entry.interface && !arrive(context, number, entry)) return;
  // Both are always asked: the device can still be opened, and it still answers.
  const bool openable = DeviceLink::probe(number, false);
  const bool alive = entry.interface->isAlive();
  if (!openable || !alive) {
    depart(context, number, entry);
    return;
  }
  if (depth < 1) return;
  for (int port = 0; port < entry.portCount; ++port) {
    examinePort(context, *entry.interface, entry.ports[static_cast<std::size_t>(port)], port, depth);
  }
}

bool SensorScanner::arrive(void* context, int number, InterfaceEntry& entry) {
  if (!DeviceLink::probe(number, true)) return false;
  entry.interface = std::make_unique<SensorInterface>(true);
  if (!entry.interface->open(number)) {
    entry.interface.reset();
    return false;
  }
  OnScanEvent(InterfaceAdded, context, entry.interface.get(), nullptr, number);
  return true;
}

void SensorScanner::depart(void* context, int number, InterfaceEntry& entry) {
  for (int port = 0; port < entry.portCount; ++port) {
    SensorPort& p = entry.ports[static_cast<std::size_t>(port)];
    OnScanEvent(SensorRemoved, context, entry.interface.get(), p.datasheet.get(), port);
    p.sensorId = 0;
    p.datasheet.reset();
  }
  OnScanEvent(InterfaceRemoved, context, entry.interface.get(), nullptr, number);
  entry.interface.reset();
}

void SensorScanner::dropSensor(void* context, SensorInterface& interface, SensorPort& port, int index) {
  port.rereadRequested = false;
  OnScanEvent(SensorRemoved, context, &interface, port.datasheet.get(), index);
  port.sensorId = 0;
  port.datasheet.reset();
}

void SensorScanner::examinePort(void* context, SensorInterface& interface, SensorPort& port, int index, int depth) {
  if (port.rereadRequested) {
    dropSensor(context, interface, port, index);
    return;
  }
  if (port.sensorId != 0) {
    if (interface.isSensorAttached(0) == 0) dropSensor(context, interface, port, index);
    return;
  }
  if (interface.isSensorAttached(0) == 0) return;
  port.sensorId = interface.readSensorId(0);
  if (port.sensorId == 0) return;
  OnScanEvent(SensorAdded, context, &interface, port.datasheet.get(), index);
  if (depth < 2) return;
  readDatasheet(context, interface, port, index);
}

void SensorScanner::readDatasheet(void* context, SensorInterface& interface, SensorPort& port, int index) {
  std::vector<std::uint8_t> buffer(4096, 0);
  for (int attempt = 0; attempt < readAttempts_; ++attempt) {
    std::size_t returned = 0;
    const bool headerRead = interface.readDatasheet(0, buffer.data(), kHeaderLength, &returned) &&
                            returned == static_cast<std::size_t>(kHeaderLength);
    if (!headerRead) {
      OnScanEvent(SensorCantReadDataSheet, context, &interface, nullptr, index);
      continue;
    }
    const int length = announcedImageLength(buffer.data());
    if (length > kLongestDatasheet) {
      if (!port.datasheet) port.datasheet = std::make_unique<Datasheet>();
      port.sensorId = -1;
      port.image.clear();
      port.datasheet->sensorId = static_cast<std::uint16_t>(buffer[0] | buffer[1] << 8);
      OnScanEvent(SensorBadDataSheet, context, &interface, port.datasheet.get(), index);
      continue;
    }
    // A short answer is a failed transfer: the image is not all there.
    if (!interface.readDatasheet(0, buffer.data(), static_cast<std::size_t>(length), &returned) ||
        returned != static_cast<std::size_t>(length)) {
      OnScanEvent(SensorCantReadDataSheet, context, &interface, nullptr, index);
      continue;
    }
    if (!port.datasheet) port.datasheet = std::make_unique<Datasheet>();
    port.image.assign(buffer.begin(), buffer.begin() + length);
    if (port.datasheet->decode(buffer.data(), static_cast<std::size_t>(length))) {
      OnScanEvent(SensorGoodDataSheet, context, &interface, port.datasheet.get(), index);
      port.sensorId = port.datasheet->sensorId;
      return;
    }
    OnScanEvent(SensorBadDataSheet, context, &interface, port.datasheet.get(), index);
    port.sensorId = -1;
  }
}

}  // namespace trimwell
