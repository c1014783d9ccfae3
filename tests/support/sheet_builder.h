#pragma once
// Datasheets made in code for the conversion and discovery tests.

#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "datasheet/datasheet.h"

namespace trimwell::test {

inline Measurement& addRaw(Datasheet& d, int id, int type, int size) {
  Measurement& m = d.addMeasurement();
  m.id = static_cast<std::uint16_t>(id);
  m.conversionType = static_cast<std::uint8_t>(type);
  m.type.conversionType = type;
  m.type.sampleSize = type == kRawLong ? 4 : size;
  return m;
}

inline Measurement& addDerived(Datasheet& d, int id, int type, std::initializer_list<int> inputs, int operation,
                               std::initializer_list<double> constants) {
  Measurement& m = d.addMeasurement();
  m.id = static_cast<std::uint16_t>(id);
  m.conversionType = static_cast<std::uint8_t>(type);
  m.type.conversionType = type;
  m.type.inputCount = static_cast<int>(inputs.size());
  int j = 0;
  for (int input : inputs) m.type.inputIds[static_cast<std::size_t>(j++)] = input;
  m.type.operation = operation;
  for (double c : constants) m.type.constants[static_cast<std::size_t>(m.type.constantCount++)] = c;
  return m;
}

// A measurement of a conversion type this station does not know, with its block as
// a sensor of newer production would carry it.
inline Measurement& addUnknown(Datasheet& d, int id, int type, std::vector<std::uint8_t> block) {
  Measurement& m = d.addMeasurement();
  m.id = static_cast<std::uint16_t>(id);
  m.conversionType = static_cast<std::uint8_t>(type);
  m.type.conversionType = type;
  m.rawBlock = std::move(block);
  return m;
}

inline void setVersion(Datasheet& d, const char* text) { std::memcpy(d.versionText.data(), text, 4); }

inline std::vector<std::uint8_t> encodeImage(Datasheet& d) {
  std::vector<std::uint8_t> image(kMaxImageLength);
  std::size_t length = 0;
  if (!d.encode(image.data(), image.size(), &length)) return {};
  image.resize(length);
  return image;
}

// An extended section put before a version 2 image's extended checksum, both
// checksums made anew: a section of a kind the encoder never makes.
inline std::vector<std::uint8_t> withSection(std::vector<std::uint8_t> image,
                                             const std::vector<std::uint8_t>& section) {
  auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
      image[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  };
  const std::size_t base = image[4] | image[5] << 8;
  image.insert(image.end() - 4, section.begin(), section.end());
  put(6, static_cast<std::uint32_t>(image.size() - base), 2);
  put(base - 4, imageChecksum(image.data(), base - 4), 4);
  put(image.size() - 4, imageChecksum(image.data() + base, image.size() - base - 4), 4);
  return image;
}

// Sensor 300: one raw input and `lines` calibrated lines on it (IDs 10, 11, ...),
// each showing the input as it is.
inline std::vector<std::uint8_t> calibratedLinesImage(int lines) {
  Datasheet d;
  d.sensorId = 300;
  d.lengthLimit = 2048;
  setVersion(d, "1.00");
  addRaw(d, 1, kRawLong, 4);
  for (int i = 0; i < lines; ++i) addDerived(d, 10 + i, kCalibrated, {1}, 0, {0, 0, 1, 1});
  return encodeImage(d);
}

}  // namespace trimwell::test
