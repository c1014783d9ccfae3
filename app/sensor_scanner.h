#pragma once
// Finding sensor interfaces and the sensors plugged into them, as they come and go.
//
// The dialog calls Scan from its timer; every finding is reported at once, inside
// that call, through OnScanEvent. The scanner owns the interface objects and the
// sensors' datasheets; a handler may keep the pointers it is given until it sees
// the matching removal.

#include <array>
#include <memory>
#include <vector>

#include "datasheet/datasheet.h"
#include "link/sensor_interface.h"

namespace trimwell {

enum ScanEvent : int {
  InterfaceAdded = 0,
  InterfaceRemoved = 1,
  SensorAdded = 2,
  SensorRemoved = 3,
  SensorCantReadDataSheet = 4,
  SensorBadDataSheet = 5,
  SensorGoodDataSheet = 6,
};

struct SensorPort {
  std::unique_ptr<Datasheet> datasheet;
  // 0: no sensor known; -1: present with a bad datasheet; else the sensor's ID.
  int sensorId = 0;
  bool rereadRequested = false;
  // The image as the sensor gave it at the last read (before any decode), for the
  // check before a write that the same sensor is still there.
  std::vector<std::uint8_t> image;
};

struct InterfaceEntry {
  static constexpr int kPorts = 3;
  std::unique_ptr<SensorInterface> interface;
  int portCount = 1;
  std::array<SensorPort, kPorts> ports;
};

class SensorScanner {
 public:
  static constexpr int kMaxInterfaces = 10;
  static constexpr int kHeaderLength = 8;
  static constexpr int kLongestDatasheet = static_cast<int>(kLongestSensorImage);

  // 1 to 10 interface numbers are scanned; any other count means 10.
  explicit SensorScanner(int interfaceCount = kMaxInterfaces);
  virtual ~SensorScanner();
  SensorScanner(const SensorScanner&) = delete;
  SensorScanner& operator=(const SensorScanner&) = delete;

  // depth < 1: interfaces only; 1: also sensors; 2 or more: also their datasheets.
  int Scan(void* context, int depth);
  // One interface number, found, examined or dropped as Scan does it: for a number
  // the scanner's count leaves out.
  void scanNumber(void* context, int number, int depth);
  void RequestReread(int interfaceNumber, int port);

  virtual void OnScanEvent(int event, void* context, SensorInterface* interface, Datasheet* datasheet, int index);

  int interfaceCount() const { return interfaceCount_; }
  int readAttempts() const { return readAttempts_; }
  const InterfaceEntry& entry(int n) const { return entries_[static_cast<std::size_t>(n)]; }

 private:
  bool arrive(void* context, int number, InterfaceEntry& entry);
  void depart(void* context, int number, InterfaceEntry& entry);
  void dropSensor(void* context, SensorInterface& interface, SensorPort& port, int index);
  void examinePort(void* context, SensorInterface& interface, SensorPort& port, int index, int depth);
  void readDatasheet(void* context, SensorInterface& interface, SensorPort& port, int index);

  std::array<InterfaceEntry, kMaxInterfaces> entries_;
  int interfaceCount_;
  int readAttempts_ = 3;
};

}  // namespace trimwell
