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

  // Decodes the first "*.sds" file (the extension in any case), in name order,
  // whose sensor ID is sensorId into datasheet. False when no file matches (the
  // datasheet is untouched) or when the matching file does not decode (the
  // datasheet holds what the decoder left). A sensor ID of 0 never matches. Only
  // regular files are read, and of them only what an image can hold.
  bool loadForSensor(int sensorId, Datasheet& datasheet);

  // The path of the file the last lookup took, "" when none matched: with a
  // damaged file first in name order, the operator needs to know which one it is.
  const std::string& usedFile() const { return usedFile_; }
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
  std::string usedFile_;
};

// The most an image can take: the base part's limit and the largest extended part.
// Bytes after the image are ignored, so nothing beyond this is ever read.
constexpr std::size_t kMaxImageFileLength = kMaxImageLength + 0xFFFF;

// Reads a regular file, at most maxBytes of it; false when it is not a regular
// file or cannot be opened or read.
bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes,
                   std::size_t maxBytes = kMaxImageFileLength);

}  // namespace trimwell
