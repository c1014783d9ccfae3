#pragma once
// The folder of datasheet files kept beside the station: one image per kind of sensor,
// selected by the sensor ID in its first two bytes.

#include <cstdint>
#include <string>
#include <vector>

#include "datasheet/datasheet.h"

namespace trimwell {

class DatasheetLibrary {
 public:
  static constexpr const char* kDefaultFolder = "plugins/datasheets";

  explicit DatasheetLibrary(std::string folder = kDefaultFolder) : folder_(std::move(folder)) {}

  // Decodes the first "*.sds" file, in name order, whose sensor ID is sensorId into
  // datasheet. False when no file matches (the datasheet is untouched) or when the
  // matching file does not decode (the datasheet holds what the decoder left). A
  // sensor ID of 0 never matches.
  bool loadForSensor(int sensorId, Datasheet& datasheet) const;

  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

// Reads a whole file; false when it cannot be opened or read.
bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes);

}  // namespace trimwell
