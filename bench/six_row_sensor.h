#pragma once
// A sensor image with six raw and six calibrated measurements, for the benchmarks
// of a station tick.

#include <cstdint>
#include <vector>

#include "datasheet/datasheet.h"

namespace trimwell::bench {

inline std::vector<std::uint8_t> sixRowImage() {
  Datasheet d;
  d.sensorId = 400;
  d.lengthLimit = 2048;
  d.versionText = {'1', '.', '0', '0'};
  for (int i = 0; i < 6; ++i) {
    Measurement& raw = d.addMeasurement();
    raw.id = static_cast<std::uint16_t>(i + 1);
    raw.type.sampleSize = 4;
  }
  for (int i = 0; i < 6; ++i) {
    Measurement& line = d.addMeasurement();
    line.id = static_cast<std::uint16_t>(10 + i);
    line.conversionType = kCalibrated;
    line.type.inputCount = 1;
    line.type.inputIds[0] = i + 1;
    line.type.constants = {0, 0, 100, 50};
    line.primaryText.text = u"Channel";
    line.secondaryText.text = u"mV";
  }
  std::vector<std::uint8_t> image(kMaxImageLength);
  std::size_t length = 0;
  d.encode(image.data(), image.size(), &length);
  image.resize(length);
  return image;
}

}  // namespace trimwell::bench
