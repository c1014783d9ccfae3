#pragma once
// A sensor's self-description and its binary image, as stored in the sensor's EEPROM
// and in datasheet files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <utility>
#include <vector>

#include "datasheet/measurement.h"
#include "datasheet/text.h"

namespace trimwell {

constexpr int kMaxMeasurements = 32;
constexpr std::size_t kMaxImageLength = 8192;
// The longest image the station reads from a sensor: one longer is taken for a bad
// datasheet, so nothing longer may be written into one.
constexpr std::size_t kLongestSensorImage = 2048;

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
  // First of all members: the texts below take their memory from it.
  std::pmr::monotonic_buffer_resource textStorage_{kTextStorageBlock};

 public:
  static constexpr std::size_t kTextStorageBlock = 4096;  // the texts of a large image, in one block

  Datasheet() : headerText(&textStorage_), name(&textStorage_), extensionText(&textStorage_) {}
  // Measurements point back at their datasheet, so a datasheet stays where it is made.
  Datasheet(const Datasheet&) = delete;
  Datasheet& operator=(const Datasheet&) = delete;

  // A decoded datasheet encodes to the image it was read from, byte for byte, apart
  // from the fields changed since: what the station does not interpret (a block of
  // an unknown type, a block's bytes past its type's fields, an extended section of
  // an unknown kind, the record order) is kept and written back as it came.
  bool decode(const std::uint8_t* buffer, std::size_t length);
  bool encode(std::uint8_t* buffer, std::size_t capacity, std::size_t* outLength = nullptr);
  // The image of the last decode up to its end (the base part and the extended part
  // it announces, as far as the buffer held them); empty after a failed decode and
  // for a datasheet made in code.
  const std::vector<std::uint8_t>& imageAsRead() const { return imageAsRead_; }
  // The image as read with every measurement's constants as they are now (the fields
  // a calibration changes) written over the bytes read, and the base checksum made
  // anew: what a byte-exact encode must give after a calibration. Empty when there
  // is no image as read.
  std::vector<std::uint8_t> imageWithConstants() const;
  // Which part of the image as read holds byte `offset`: "the header", "measurement
  // 12", "the base checksum", "extended section 2 (kind 9)", "the extended part".
  std::string partAt(std::size_t offset) const;

  // major x 65536 + minor from the version text: digits before the point make the
  // major part, digits after it the minor part, everything else is ignored.
  std::uint32_t version() const;
  // The version text as written, up to its first zero byte ("1.02").
  std::string versionString() const;
  Measurement* findMeasurement(int id) const;
  Measurement* measurement(int slot) const { return table[static_cast<std::size_t>(slot)]; }
  // Appends a measurement owned by this datasheet (for builders and tests); a table
  // of kMaxMeasurements already full answers its last measurement.
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
  // The measurements in slot order (ID order after a decode or encode); they live in
  // the datasheet's own storage.
  std::array<Measurement*, kMaxMeasurements> table{};
  std::vector<std::pair<std::uint8_t, std::uint8_t>> entries;  // section 1, in image order

 private:
  void reset();
  void decodeHeader(ByteReader& reader);
  void encodeHeader(ByteWriter& writer) const;
  void decodeExtendedPart(ByteReader& reader);
  void decodeSection(ByteReader& reader, int sectionType, std::size_t sectionEnd);
  void encodeExtendedPart(ByteWriter& writer);
  void encodeSection(ByteWriter& writer, int sectionType);
  void markCanonicalSections(const std::uint8_t* image);
  void encodeRecords(ByteWriter& writer);
  void sortTable();
  Measurement* findSorted(int id, std::size_t& hint) const;
  void linkMeasurements();
  Measurement& newMeasurement();

  // Every measurement in one allocation, room for all 32 made before the first, so
  // that the slots and the measurements' links into it never move.
  std::vector<Measurement> storage_;

  // What a decode keeps so that the image goes back as it came.
  struct KeptSection {
    int type = 0;
    std::size_t offset = 0;          // of its type byte in the image
    std::vector<std::uint8_t> bytes;  // its content, after the type and length
    bool asRead = true;              // written as read: unknown, or not as the encoder would make it
  };
  std::vector<std::uint8_t> imageAsRead_;
  // Where each record began in the image as read, in read order, and where the last ended.
  std::array<std::uint16_t, kMaxMeasurements + 1> recordStart_{};
  std::array<std::uint8_t, 10> headerBytes_{};
  bool readOrder_ = false;                  // the records go back in the order read
  bool extendedDecoded_ = false;            // sections_ are the extended part, in image order
  bool extendedKept_ = false;               // the extended part was not decoded: keptExtended_ goes back
  std::vector<KeptSection> sections_;
  std::vector<std::uint8_t> keptExtended_;
};

// The image length the first 8 bytes of an image announce: the base length, plus
// the extended length when that is 4 or more; never less than those 8 bytes.
int announcedImageLength(const std::uint8_t* header);

}  // namespace trimwell
