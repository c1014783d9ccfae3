#include "app/station_summary.h"

#include <utility>

namespace trimwell {

std::string plainStatus(const std::string& status) {
  static const std::pair<const char*, const char*> kMeanings[] = {
      {"No Sensor Detected...", "Waiting for an interface and a sensor."},
      {"BrimsenInterfaceAdded", "An interface was plugged in."},
      {"BrimsenInterfaceRemoved", "The interface was unplugged."},
      {"BrimsenSensorAdded:", "A sensor was plugged in; its datasheet is being read."},
      {"BrimsenSensorRemoved:", "The sensor was unplugged."},
      {"BrimsenSensorCantReadDataSheet", "The sensor's datasheet could not be read: reseat the sensor."},
      {"BrimsenSensorBadDataSheet", "The sensor's datasheet is damaged and the library has no file to stand in."},
      {"BrimsenSensorGoodDataSheet", "The sensor's datasheet was read and agrees with the library's file."},
      {"Update Datasheet Version",
       "The library's file is newer than the sensor's datasheet: the file's is used, and the next calibration "
       "writes it into the sensor."},
      {"Old File Datasheet",
       "The sensor's datasheet is newer than the library's file: the sensor's is used. Update the file."},
      {"Datasheet Mismatch",
       "The file and the sensor have the same datasheet version with different content: the file's is used."},
      {"New Datasheet",
       "The sensor's datasheet is damaged: the library's file stands in, and the next calibration writes it."},
      {"No Cached Datasheet", "The library has no valid file for this sensor: add its .sds file."},
  };
  for (const auto& [text, meaning] : kMeanings) {
    if (status == text) return meaning;
  }
  if (status.rfind("Sensor refused:", 0) == 0) return "This sensor cannot be used with the station.";
  return {};
}

}  // namespace trimwell
