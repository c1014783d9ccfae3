#pragma once
// What the station keeps of every write into a sensor: when and by whom, with what
// equipment, to which sensor, the points and constants of each row, the options,
// the result, and the sensor's datasheet image and calibration block as found
// before the write and as read back after it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace trimwell {

struct RecordRow {
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

enum class RecordKind { Calibration, Restore };

// The kind as stores, exports and scripts name it: "calibration" or "restore".
inline const char* kindName(RecordKind kind) { return kind == RecordKind::Restore ? "restore" : "calibration"; }
inline RecordKind kindFromName(const std::string& name) {
  return name == "restore" ? RecordKind::Restore : RecordKind::Calibration;
}

struct CalibrationRecord {
  // Made by the station when the record is kept, the same in every store it goes
  // to: what restores, certificates and references go by.
  std::string uuid;
  long long id = 0;  // given by the store, for the operator's eyes only
  RecordKind kind = RecordKind::Calibration;
  std::string utcTime;  // ISO 8601, seconds
  std::string operatorName;
  std::string host;
  std::string stationVersion;
  std::string interfaceKind;  // "USB" or "wireless"
  int interfaceProduct = 0;
  std::string firmwareVersion;
  int sensorId = 0;
  std::string datasheetName;
  std::string datasheetVersion;
  std::vector<RecordRow> rows;
  std::string options;  // "Name=value" pairs, one per line
  bool success = false;
  std::string result;  // "written and verified", or the message shown
  std::vector<std::uint8_t> asFoundImage;
  std::vector<std::uint8_t> asFoundCalibration;
  std::vector<std::uint8_t> asLeftImage;
  std::vector<std::uint8_t> asLeftCalibration;
  long long restoredFrom = 0;  // for a restore: the number of the record whose state was written
  std::string restoredFromUuid;  // and its identity
};

// One line of a list of records.
struct RecordSummary {
  long long id = 0;
  std::string uuid;
  std::string utcTime;
  int sensorId = 0;
  std::string datasheetName;
  bool success = false;
  std::string result;
  bool waiting = false;  // kept on this station, not yet in the lab's store
};

// Fills in when, who, where and which station, and the record's identity unless
// it has one.
void stampRecord(CalibrationRecord& record);

// A random (version 4) UUID in its 36-character text form.
std::string newRecordUuid();

// Replaces each byte that is not part of valid UTF-8 with U+FFFD; true when it
// changed the text.
bool makeValidUtf8(std::string& text);

// A record's number as text that reads back to the same double, with a decimal
// point whatever the locale.
std::string exactNumber(double value);

}  // namespace trimwell
