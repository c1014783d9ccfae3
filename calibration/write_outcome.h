#pragma once
// What one write into a sensor came to, as the procedure hands it back: the
// sensor's state before and after, the rows and constants written, the result.
// The application keeps it as a record; the procedure knows nothing of stores.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace trimwell {

struct WrittenRow {
  int measurementId = 0;
  std::string name;
  double point1Raw = 0.0;
  double point1Data = 0.0;
  double point2Raw = 0.0;
  double point2Data = 0.0;
  std::array<double, 4> constants{};
  bool leftOut = false;
  bool extra = false;
};

// A sensor's kept state, as found before a write or as left after it.
struct SensorState {
  std::vector<std::uint8_t> image;
  std::vector<std::uint8_t> calibration;
};

struct WriteOutcome {
  bool restore = false;  // a kept state written back, rather than a calibration
  bool success = false;
  std::string result;  // "written and verified", or the message shown
  std::string interfaceKind;  // "USB" or "wireless"
  int interfaceProduct = 0;
  std::string firmwareVersion;
  int sensorId = 0;
  std::string datasheetName;
  std::string datasheetVersion;
  std::vector<WrittenRow> rows;
  std::string options;  // "Name=value" pairs, one per line
  SensorState asFound;
  SensorState asLeft;
  // The sensor in the interface is not the one the points were taken of: the
  // station reads it afresh, as one just plugged.
  bool sensorChanged = false;
  // For a restore: the number and identity of the record whose state was written.
  long long restoredFrom = 0;
  std::string restoredFromUuid;
};

// A kept record's states, to be written back into the sensor it was taken of.
struct RestoreSource {
  long long number = 0;  // as the operator knows the record
  std::string uuid;
  int sensorId = 0;
  std::string options;
  SensorState asFound;
  SensorState asLeft;
};

}  // namespace trimwell
