#include "app/datasheet_check.h"

#include "app/sensor_scanner.h"
#include "platform/format_text.h"

namespace trimwell {
namespace {

constexpr const char* kNoFileWarning =
    "Warning!  No valid datasheet file was found for this sensor; Please add a datasheet file for this sensor!";
constexpr const char* kOlderFileWarning =
    "Warning!  The file datasheet is older than the sensor datasheet; Please update the file datasheet!";
constexpr const char* kMismatchWarning =
    "Warning!  The file datasheet and the sensor datasheet have the same version but contain different information";

// The first file with the sensor's ID is the one taken; when it is damaged, a
// valid file further on is not tried, so the warning says which file stood in the way.
std::string noFileWarning(const std::string& usedFile, std::uint32_t status) {
  if (usedFile.empty()) return kNoFileWarning;
  if (status == kDatasheetOk) {
    return formatText("%s\nThe file %s has this sensor's ID but could not be read.", kNoFileWarning,
                      usedFile.c_str());
  }
  return formatText("%s\nThe file %s has this sensor's ID but holds no valid datasheet (status 0x%08x).",
                    kNoFileWarning, usedFile.c_str(), static_cast<unsigned>(status));
}

bool sameContent(const Datasheet& a, const Datasheet& b) {
  return a.baseLength == b.baseLength && a.name.text == b.name.text && a.identity == b.identity;
}

}  // namespace

std::optional<StationState> checkDatasheet(DatasheetLibrary& library, int code, Datasheet* datasheet, bool& accept,
                                           const std::function<void(const std::string&)>& showMessage) {
  accept = false;
  std::optional<StationState> verdict;
  Datasheet file;
  const bool fileFound = library.loadForSensor(datasheet->sensorId, file);
  if (!fileFound) {
    showMessage(noFileWarning(library.usedFile(), file.status));
    verdict = StationState::kNoCachedDatasheet;
  }
  if (code == SensorGoodDataSheet) {
    accept = true;
    if (!fileFound) return verdict;
    if (file.version() > datasheet->version()) {
      library.loadForSensor(datasheet->sensorId, *datasheet);
      return StationState::kUpdateDatasheetVersion;
    }
    if (file.version() < datasheet->version()) {
      showMessage(kOlderFileWarning);
      return StationState::kOldFileDatasheet;
    }
    if (!sameContent(file, *datasheet)) {
      showMessage(kMismatchWarning);
      library.loadForSensor(datasheet->sensorId, *datasheet);
      return StationState::kDatasheetMismatch;
    }
    return verdict;
  }
  // A bad datasheet is replaced by the file's, when there is one that decodes.
  accept = fileFound && library.loadForSensor(datasheet->sensorId, *datasheet);
  return verdict;
}

}  // namespace trimwell
