#include "calibration/datasheet_write.h"

#include <algorithm>
#include <utility>

#include "platform/format_text.h"

namespace trimwell {

std::size_t sensorLengthLimit(const CalibrationSession& session) {
  std::size_t limit = kLongestSensorImage;
  const std::vector<std::uint8_t>& own = session.knownImage;
  if (own.size() >= 4) {
    const std::size_t ownLimit = own[2] | static_cast<std::size_t>(own[3]) << 8;
    if (ownLimit > 0) limit = std::min(limit, ownLimit);
  }
  if (session.currentDatasheet != nullptr && session.currentDatasheet->lengthLimit > 0) {
    limit = std::min<std::size_t>(limit, session.currentDatasheet->lengthLimit);
  }
  return limit;
}

// Past the limit the sensor would hold a datasheet the station can no longer read.
bool imageFitsSensor(const CalibrationSession& session, std::size_t length, std::string& why) {
  const std::size_t limit = sensorLengthLimit(session);
  if (length <= limit) return true;
  why = formatText("The datasheet is %zu bytes long, more than the %zu bytes the sensor holds; nothing was written "
                   "to the sensor",
                   length, limit);
  return false;
}

// The reference is made without the encoder: the constants are written over the
// bytes read, where the decode found them. So a codec that dropped or changed a part
// is caught here rather than in a sensor.
bool keepsImageAsRead(const Datasheet& datasheet, std::vector<std::uint8_t>& image, std::string& why) {
  if (datasheet.imageAsRead().empty()) return true;
  std::vector<std::uint8_t> expected = datasheet.imageWithConstants();
  if (expected != image) {
    // The two length words follow from whatever else changed: the part named is the
    // first one past them that differs, unless nothing else does.
    const std::size_t common = std::min(image.size(), expected.size());
    std::size_t at = std::min<std::size_t>(8, common);
    while (at < common && image[at] == expected[at]) ++at;
    if (at == common && image.size() == expected.size()) {
      at = 0;
      while (at < common && image[at] == expected[at]) ++at;
    }
    why = formatText("The sensor's datasheet cannot be written back whole: %s would change; nothing was written to "
                     "the sensor",
                     datasheet.partAt(at).c_str());
    return false;
  }
  image = std::move(expected);
  return true;
}

}  // namespace trimwell
