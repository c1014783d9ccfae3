#include "app/station_states.h"

#include "app/sensor_scanner.h"

namespace trimwell {

const std::array<StateText, 15>& stationStates() {
  static const std::array<StateText, 15> table = {{
      {StationState::kNoSensor, "No Sensor Detected...", "Waiting for an interface and a sensor."},
      {StationState::kInterfaceAdded, "BrimsenInterfaceAdded", "An interface was plugged in."},
      {StationState::kInterfaceRemoved, "BrimsenInterfaceRemoved", "The interface was unplugged."},
      {StationState::kSensorAdded, "BrimsenSensorAdded:", "A sensor was plugged in; its datasheet is being read."},
      {StationState::kSensorRemoved, "BrimsenSensorRemoved:", "The sensor was unplugged."},
      {StationState::kCantReadDatasheet, "BrimsenSensorCantReadDataSheet",
       "The sensor's datasheet could not be read: reseat the sensor."},
      {StationState::kBadDatasheet, "BrimsenSensorBadDataSheet",
       "The sensor's datasheet is damaged and the library has no file to stand in."},
      {StationState::kGoodDatasheet, "BrimsenSensorGoodDataSheet",
       "The sensor's datasheet was read and agrees with the library's file."},
      {StationState::kUpdateDatasheetVersion, "Update Datasheet Version",
       "The library's file is newer than the sensor's datasheet: the file's is used, and the next calibration "
       "writes it into the sensor."},
      {StationState::kOldFileDatasheet, "Old File Datasheet",
       "The sensor's datasheet is newer than the library's file: the sensor's is used. Update the file."},
      {StationState::kDatasheetMismatch, "Datasheet Mismatch",
       "The file and the sensor have the same datasheet version with different content: the file's is used."},
      {StationState::kNewDatasheet, "New Datasheet",
       "The sensor's datasheet is damaged: the library's file stands in, and the next calibration writes it."},
      {StationState::kNoCachedDatasheet, "No Cached Datasheet",
       "The library has no valid file for this sensor: add its .sds file."},
      {StationState::kSensorRefused, "Sensor refused", "This sensor cannot be used with the station."},
      {StationState::kUnknownEvent, "???????", ""},
  }};
  return table;
}

const StateText& stateText(StationState state) {
  for (const StateText& entry : stationStates()) {
    if (entry.state == state) return entry;
  }
  return stationStates().back();
}

StationState stateOfEvent(int event) {
  switch (event) {
    case InterfaceAdded: return StationState::kInterfaceAdded;
    case InterfaceRemoved: return StationState::kInterfaceRemoved;
    case SensorAdded: return StationState::kSensorAdded;
    case SensorRemoved: return StationState::kSensorRemoved;
    case SensorCantReadDataSheet: return StationState::kCantReadDatasheet;
    case SensorBadDataSheet: return StationState::kBadDatasheet;
    case SensorGoodDataSheet: return StationState::kGoodDatasheet;
    default: return StationState::kUnknownEvent;
  }
}

}  // namespace trimwell
