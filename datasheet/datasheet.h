#pragma once
// A sensor's self-description and its binary image, as stored in the sensor's EEPROM
// and in datasheet files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "datasheet/measurement.h"
#include "datasheet/text.h"

namespace trimwell {

constexpr int kMaxMeasurements = 32;
constexpr std::size_t kMaxImageLength = 8192;

enum DatasheetStatus : std::uint32_t {
  kDatasheetOk = 0,
  kTooManyMeasurements = 0x81000001,
  kBaseLengthMismatch = 0x81000002,
  kImageOverflow = 0x81000003,
  kChecksumOutOfRange = 0x81000004,
  kChecksumMismatch = 0x81000005,
  kBaseLengthTooLarge = 0x81000006,
};

class Datasheet {
 public:
  Datasheet() = default;
  // Measurements point back at their datasheet, so a datasheet stays where it is made.
  Datasheet(const Datasheet&) = delete;
  Datasheet& operator=(const Datasheet&) = delete;

  bool decode(const std::uint8_t* buffer, std::size_t length);
  bool encode(std::uint8_t* buffer, std::size_t capacity, std::size_t* outLength = nullptr);

  // major x 65536 + minor from the version text: digits before the point make the
  // major part, digits after it the minor part, everything else is ignored.
  std::uint32_t version() const;
  Measurement* findMeasurement(int id) const;
  Measurement* measurement(int slot) const { return table[static_cast<std::size_t>(slot)].get(); }
  // Appends a measurement owned by this datasheet (for builders and tests).
  Measurement& addMeasurement();
  void clearMeasurements();

  std::uint16_t sensorId = 0;
  std::uint16_t lengthLimit = 0;
  std::uint16_t baseLength = 0;
  std::uint16_t extendedLength = 0;
  std::uint16_t reservedWord = 0;
  std::array<std::uint8_t, 4> versionText{};
  TextValue headerText;
  std::uint16_t measurementCount = 0;
  std::array<std::uint8_t, 32> identity{};
  TextValue name;
  TextValue extensionText;
  std::uint16_t extensionValue = 0;
  std::array<std::uint32_t, 5> carriedWords{};
  std::uint32_t status = kDatasheetOk;
  std::array<std::unique_ptr<Measurement>, kMaxMeasurements> table;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> entries;  // section 1, in image order

 private:
  void reset();
  void decodeHeader(ByteReader& reader);
  void encodeHeader(ByteWriter& writer) const;
  void decodeExtendedPart(ByteReader& reader);
  void decodeSection(ByteReader& reader, int sectionType, std::size_t sectionEnd);
  void encodeExtendedPart(ByteWriter& writer);
  void sortTable();
  void linkMeasurements();
};

}  // namespace trimwell
