#include "datasheet/datasheet.h"

#include <cstring>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "datasheet/datasheet_library.h"
#include "support/sheet_builder.h"

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

void setVersion(Datasheet& d, const char* text) { std::memcpy(d.versionText.data(), text, 4); }

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}
void resealBase(Bytes& b, std::size_t baseLength) { put32(b, baseLength - 4, imageChecksum(b.data(), baseLength - 4)); }

// The 83-byte image: sensor 0x0102, limit 0x0800, version 1.00, header "ABC".
Bytes exampleImage() {
  Bytes b(83, 0);
  put16(b, 0, 0x0102);
  put16(b, 2, 0x0800);
  put16(b, 4, 83);
  std::memcpy(&b[10], "1.00", 4);
  std::memcpy(&b[14], "ABC", 3);
  put32(b, 79, 0xFFFFFE1C);
  return b;
}

void addLine(Datasheet& d, int id, int input) {
  Measurement& m = d.addMeasurement();
  m.id = static_cast<std::uint16_t>(id);
  m.conversionType = kCalibrated;
  m.type.conversionType = kCalibrated;
  m.type.inputCount = 1;
  m.type.inputIds[0] = input;
  m.type.constantCount = 4;
  m.type.constants = {0, 1, 100, 2};
  m.primaryText.text = u"Line";
  m.secondaryText.text = u"\u00B0C";
}

void addRaw(Datasheet& d, int id) {
  Measurement& m = d.addMeasurement();
  m.id = static_cast<std::uint16_t>(id);
  m.conversionType = kRawScaled;
  m.type.sampleSize = 2;
}

Bytes encodeOk(Datasheet& d) {
  Bytes buf(kMaxImageLength);
  std::size_t length = 0;
  EXPECT_TRUE(d.encode(buf.data(), buf.size(), &length)) << std::hex << d.status;
  buf.resize(length);
  return buf;
}

Bytes sampleV2() {
  Datasheet d;
  d.sensorId = 235;
  d.lengthLimit = 4096;
  setVersion(d, "2.10");
  d.name.text = u"probe";
  d.extensionText.text = u"wide \u6E29";
  d.extensionValue = 7;
  d.entries = {{1, 2}, {3, 4}};
  addRaw(d, 1);
  addLine(d, 5, 1);
  d.findMeasurement(5)->extensionText.text = u"ext";
  d.findMeasurement(1)->wideExtensionTexts[2].text = u"third";
  return encodeOk(d);
}

TEST(Datasheet, ExampleImageDecodes) {
  const Bytes image = exampleImage();
  EXPECT_EQ(imageChecksum(image.data(), 79), 0xFFFFFE1Cu);
  Datasheet d;
  ASSERT_TRUE(d.decode(image.data(), image.size()));
  EXPECT_EQ(d.status, 0u);
  EXPECT_EQ(d.sensorId, 0x0102);
  EXPECT_EQ(d.headerText.text, u"ABC");
  EXPECT_EQ(d.version(), 0x10000u);
  EXPECT_EQ(encodeOk(d), image);
}

TEST(Datasheet, VersionNumbers) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"2.01", 0x20001}, {"1.10", 0x1000A}, {"12.3", 0xC0003}, {"    ", 0}, {"v2.x", 0x20000}};
  for (const auto& [text, number] : cases) {
    Datasheet d;
    setVersion(d, text);
    EXPECT_EQ(d.version(), number) << text;
  }
}

struct DamageCase {
  const char* name;
  void (*damage)(Bytes&);
  std::uint32_t status;
};

class DamagedImage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedImage, FailsWithItsStatus) {
  Bytes image = exampleImage();
  GetParam().damage(image);
  Datasheet d;
  EXPECT_FALSE(d.decode(image.data(), image.size()));
  EXPECT_EQ(d.status, GetParam().status);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedImage,
    ::testing::Values(
        DamageCase{"carried_word", [](Bytes& b) { b[75] ^= 1; }, kChecksumMismatch},
        DamageCase{"stored_checksum", [](Bytes& b) { b[80] ^= 1; }, kChecksumMismatch},
        DamageCase{"base_length_wrong",
                   [](Bytes& b) {
                     put16(b, 4, 84);
                     resealBase(b, 83);
                   },
                   kBaseLengthMismatch},
        DamageCase{"base_length_over_limit", [](Bytes& b) { put16(b, 2, 82); }, kBaseLengthTooLarge},
        DamageCase{"base_length_8193",
                   [](Bytes& b) {
                     put16(b, 2, 0xFFFF);
                     put16(b, 4, 8193);
                   },
                   kBaseLengthTooLarge},
        DamageCase{"count_33", [](Bytes& b) { put16(b, 24, 33); }, kTooManyMeasurements},
        DamageCase{"checksum_cut", [](Bytes& b) { b.resize(81); }, kChecksumOutOfRange},
        DamageCase{"header_cut", [](Bytes& b) { b.resize(40); }, kImageOverflow},
        DamageCase{"record_missing", [](Bytes& b) { put16(b, 24, 1); }, kImageOverflow}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Datasheet, BaseLengthOf8192PassesTheLengthCheck) {
  Bytes image = exampleImage();
  put16(image, 2, 8192);
  put16(image, 4, 8192);
  resealBase(image, 83);
  Datasheet d;
  EXPECT_FALSE(d.decode(image.data(), image.size()));
  EXPECT_EQ(d.status, kBaseLengthMismatch);  // got past the length check
}

TEST(Datasheet, ThirtyTwoMeasurementsAndNoMore) {
  Datasheet d;
  setVersion(d, "1.00");
  d.lengthLimit = 8192;
  addRaw(d, 1);
  for (int i = 1; i < 32; ++i) addLine(d, 100 - i, 1);
  const Bytes image = encodeOk(d);
  Datasheet back;
  ASSERT_TRUE(back.decode(image.data(), image.size()));
  EXPECT_EQ(back.measurementCount, 32);
  back.measurementCount = 33;
  Bytes buf(kMaxImageLength);
  EXPECT_FALSE(back.encode(buf.data(), buf.size()));
  EXPECT_EQ(back.status, kTooManyMeasurements);
}

TEST(Datasheet, SortsByIdAndLinksSources) {
  Datasheet d;
  setVersion(d, "1.00");
  d.lengthLimit = 2048;
  addLine(d, 7, 3);
  addRaw(d, 3);
  addLine(d, 5, 99);
  const Bytes image = encodeOk(d);
  Datasheet back;
  ASSERT_TRUE(back.decode(image.data(), image.size()));
  EXPECT_EQ(back.measurement(0)->id, 3);
  EXPECT_EQ(back.measurement(1)->id, 5);
  EXPECT_EQ(back.measurement(2)->id, 7);
  EXPECT_EQ(back.findMeasurement(7)->type.source, back.findMeasurement(3));
  EXPECT_EQ(back.findMeasurement(5)->type.source, nullptr);
  EXPECT_EQ(back.findMeasurement(4), nullptr);
  EXPECT_EQ(encodeOk(back), image);
}

// An image whose records are out of ID order, put together byte by byte (the encoder
// sorts, so an encoded image could not show whether the decoder does).
TEST(Datasheet, DecoderSortsRecordsItReadsOutOfOrder) {
  Bytes image = exampleImage();
  image.resize(79);  // the records go where the checksum was
  const int ids[] = {9, 2, 7, 5};
  for (int id : ids) {
    const bool line = id == 7;
    Bytes record = {static_cast<std::uint8_t>(id), 0, 'T', 0, 'C', 0};
    if (line) {
      record.insert(record.end(), {kCalibrated, 18, 2, 0});  // a line over measurement 2
      record.insert(record.end(), 16, 0);
    } else {
      record.insert(record.end(), {kRawScaled, 1, static_cast<std::uint8_t>(id)});
    }
    record.insert(record.end(), 1 + 4 + 2 + 16, 0);
    image.insert(image.end(), record.begin(), record.end());
  }
  put16(image, 24, 4);
  image.resize(image.size() + 4);
  put16(image, 4, static_cast<std::uint32_t>(image.size()));
  resealBase(image, image.size());

  Datasheet d;
  ASSERT_TRUE(d.decode(image.data(), image.size())) << std::hex << d.status;
  ASSERT_EQ(d.measurementCount, 4);
  EXPECT_EQ(d.measurement(0)->id, 2);
  EXPECT_EQ(d.measurement(1)->id, 5);
  EXPECT_EQ(d.measurement(2)->id, 7);
  EXPECT_EQ(d.measurement(3)->id, 9);
  EXPECT_EQ(d.measurement(0)->type.sampleSize, 2);  // each record moved whole
  EXPECT_EQ(d.measurement(3)->type.sampleSize, 9);
  EXPECT_EQ(d.findMeasurement(7)->type.source, d.findMeasurement(2));
}

// A datasheet that held another image keeps nothing of it after a decode, whether
// the new image decodes or not.
TEST(Datasheet, DecodeIntoAUsedDatasheetStartsAfresh) {
  const Bytes v2 = sampleV2();
  const Bytes v1 = exampleImage();
  Datasheet d;
  ASSERT_TRUE(d.decode(v2.data(), v2.size()));
  ASSERT_FALSE(d.extensionText.text.empty());
  ASSERT_TRUE(d.decode(v1.data(), v1.size()));
  Datasheet fresh;
  ASSERT_TRUE(fresh.decode(v1.data(), v1.size()));
  EXPECT_EQ(d.extensionText.text, u"");
  EXPECT_EQ(d.extensionValue, 0);
  EXPECT_TRUE(d.entries.empty());
  EXPECT_EQ(d.measurementCount, 0);
  EXPECT_EQ(d.findMeasurement(5), nullptr);
  EXPECT_EQ(encodeOk(d), encodeOk(fresh));

  ASSERT_TRUE(d.decode(v2.data(), v2.size()));
  Bytes tooLarge = v1;
  put16(tooLarge, 4, 9000);  // refused before any record is read
  EXPECT_FALSE(d.decode(tooLarge.data(), tooLarge.size()));
  EXPECT_EQ(d.status, kBaseLengthTooLarge);
  EXPECT_EQ(d.measurement(0), nullptr);
  EXPECT_EQ(d.extensionText.text, u"");
  EXPECT_EQ(d.name.text, u"");
}

TEST(Datasheet, VersionOneIgnoresWhatFollowsTheBase) {
  Bytes image = exampleImage();
  put16(image, 6, 40);
  resealBase(image, 83);
  image.insert(image.end(), 40, 0xAB);
  Datasheet d;
  EXPECT_TRUE(d.decode(image.data(), image.size()));
  EXPECT_EQ(d.extendedLength, 40);
}

TEST(Datasheet, ExtendedPartRoundTrips) {
  const Bytes image = sampleV2();
  Datasheet d;
  ASSERT_TRUE(d.decode(image.data(), image.size())) << std::hex << d.status;
  EXPECT_EQ(d.extensionText.text, u"wide \u6E29");
  EXPECT_EQ(d.extensionValue, 7);
  EXPECT_EQ(d.entries.size(), 2u);
  EXPECT_EQ(d.entries[1], std::make_pair(std::uint8_t{3}, std::uint8_t{4}));
  EXPECT_EQ(d.findMeasurement(5)->extensionText.text, u"ext");
  EXPECT_EQ(d.findMeasurement(1)->wideExtensionTexts[2].text, u"third");
  EXPECT_EQ(d.baseLength + d.extendedLength, static_cast<int>(image.size()));
  EXPECT_EQ(encodeOk(d), image);
}

// The base part of sampleV2 with the given sections and a correct extended checksum.
Bytes withSections(const Bytes& sections, int checksumAdjust = 0) {
  Datasheet d;
  Bytes image = sampleV2();
  EXPECT_TRUE(d.decode(image.data(), image.size()));
  image.resize(d.baseLength);
  image.insert(image.end(), sections.begin(), sections.end());
  put16(image, 6, static_cast<std::uint32_t>(sections.size() + 4));
  resealBase(image, d.baseLength);
  Bytes sum(4);
  put32(sum, 0, imageChecksum(sections.data(), sections.size()) + static_cast<std::uint32_t>(checksumAdjust));
  image.insert(image.end(), sum.begin(), sum.end());
  return image;
}

struct SectionCase {
  const char* name;
  Bytes sections;
  bool decodes;
  std::uint32_t status;
};

class ExtendedSections : public ::testing::TestWithParam<SectionCase> {};

TEST_P(ExtendedSections, DecodeOrFailWithinBounds) {
  const Bytes image = withSections(GetParam().sections);
  Datasheet d;
  EXPECT_EQ(d.decode(image.data(), image.size()), GetParam().decodes);
  EXPECT_EQ(d.status, GetParam().status);
  EXPECT_NE(d.findMeasurement(5), nullptr);  // the base part stays decoded and linked
  EXPECT_EQ(d.findMeasurement(5)->type.source, d.findMeasurement(1));
}

INSTANTIATE_TEST_SUITE_P(
    Sections, ExtendedSections,
    ::testing::Values(SectionCase{"skipped_type9", {9, 5, 0, 1, 2, 3, 4, 5}, true, 0},
                      SectionCase{"empty_section3", {3, 0, 0}, true, 0},
                      SectionCase{"type1_with_4_spare_bytes", [] {
                                    Bytes s = {1, 40, 0};
                                    s.resize(43, 0);
                                    return s;
                                  }(),
                                  false, kImageOverflow},
                      SectionCase{"section_past_checksum", {3, 10, 0, 5, 0}, false, kImageOverflow},
                      SectionCase{"text_runs_past_section", {3, 3, 0, 5, 0, 'a', 'b', 0}, false, kImageOverflow},
                      SectionCase{"unknown_id_in_section3", {3, 6, 0, 77, 0, 5, 0, 'x', 0}, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Datasheet, ExtendedChecksumMismatch) {
  const Bytes image = withSections({3, 0, 0}, 1);
  Datasheet d;
  EXPECT_FALSE(d.decode(image.data(), image.size()));
  EXPECT_EQ(d.status, kChecksumMismatch);
}

TEST(Datasheet, ExtendedChecksumBeyondTheBuffer) {
  Bytes image = withSections({3, 0, 0});
  image.resize(image.size() - 2);
  Datasheet d;
  EXPECT_FALSE(d.decode(image.data(), image.size()));
  EXPECT_EQ(d.status, kChecksumOutOfRange);
}

// The buffer ends inside a section its header announces: the decode fails without
// reading past the buffer (an exact-size copy, for memcheck to see it).
TEST(Datasheet, SectionCutByTheBufferEnd) {
  Bytes image = withSections({3, 0, 0, 9, 5, 0, 1, 2, 3, 4, 5});
  image.resize(image.size() - 6);
  auto exact = std::make_unique<std::uint8_t[]>(image.size());
  std::copy(image.begin(), image.end(), exact.get());
  Datasheet d;
  EXPECT_FALSE(d.decode(exact.get(), image.size()));
  EXPECT_EQ(d.status, kImageOverflow);
  EXPECT_TRUE(d.imageAsRead().empty());
}

TEST(Datasheet, EncodeIntoTooSmallBufferFails) {
  const Bytes image = sampleV2();
  Datasheet d;
  ASSERT_TRUE(d.decode(image.data(), image.size()));
  for (std::size_t capacity = 0; capacity < image.size(); capacity += 7) {
    Bytes buf(capacity);
    EXPECT_FALSE(d.encode(buf.data(), buf.size())) << capacity;
    EXPECT_EQ(d.status, kImageOverflow);
  }
}

TEST(Datasheet, FailedDecodeKeepsWhatWasRead) {
  Bytes image = sampleV2();
  Datasheet d;
  ASSERT_TRUE(d.decode(image.data(), image.size()));
  image.resize(d.baseLength - 30);  // the second record is cut
  Datasheet cut;
  EXPECT_FALSE(cut.decode(image.data(), image.size()));
  EXPECT_EQ(cut.status, kImageOverflow);
  EXPECT_EQ(cut.sensorId, 235);
  ASSERT_NE(cut.measurement(0), nullptr);
  EXPECT_EQ(cut.measurement(0)->id, 1);
}

struct AnnouncedCase {
  int base;
  int extended;
  int length;
};

class AnnouncedLength : public ::testing::TestWithParam<AnnouncedCase> {};

// What a header's two length words come to, as the station reads a sensor by them.
TEST_P(AnnouncedLength, FromTheHeaderWords) {
  const AnnouncedCase& c = GetParam();
  const std::uint8_t header[8] = {0xDD, 0x00, 0, 0, static_cast<std::uint8_t>(c.base), static_cast<std::uint8_t>(c.base >> 8),
                                  static_cast<std::uint8_t>(c.extended), static_cast<std::uint8_t>(c.extended >> 8)};
  EXPECT_EQ(announcedImageLength(header), c.length);
}

INSTANTIATE_TEST_SUITE_P(Headers, AnnouncedLength,
                         ::testing::Values(AnnouncedCase{100, 0, 100}, AnnouncedCase{100, 3, 100},
                                           AnnouncedCase{100, 4, 104}, AnnouncedCase{2, 0, 8},
                                           AnnouncedCase{0, 0, 8}, AnnouncedCase{2044, 4, 2048},
                                           AnnouncedCase{0xFFFF, 0xFFFF, 0x1FFFE}));

// ---- what a write gives back: the image as read, apart from the fields changed ----

Bytes fixedBytes(double v) {
  Bytes b(4);
  put32(b, 0, static_cast<std::uint32_t>(toFixed(v)));
  return b;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A record with texts "T" and "C", the given type block and flag byte.
Bytes recordOf(int id, std::uint8_t type, const Bytes& block, std::uint8_t flagByte = 0x01) {
  Bytes out = {static_cast<std::uint8_t>(id), 0, 'T', 0, 'C', 0, type, static_cast<std::uint8_t>(block.size())};
  out.insert(out.end(), block.begin(), block.end());
  out.push_back(flagByte);
  const Bytes tail = join({fixedBytes(1.0), {0, 0}, Bytes(16, 0)});
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

Bytes lineBlock(int input) {
  return join({{static_cast<std::uint8_t>(input), 0}, fixedBytes(0), fixedBytes(1), fixedBytes(100), fixedBytes(2)});
}

// The example image's header with the given version and records, put together byte
// by byte: the encoder cannot have shaped it. `after` follows the base part and is
// announced as its extended length.
Bytes imageOfRecords(const char* version, const std::vector<Bytes>& records, const Bytes& after = {},
                     const char* header = "ABC\0\0\0\0\0\0") {
  Bytes image = exampleImage();
  image.resize(79);
  std::memcpy(&image[10], version, 4);
  std::memcpy(&image[14], header, 10);
  for (const Bytes& r : records) image.insert(image.end(), r.begin(), r.end());
  put16(image, 24, static_cast<std::uint32_t>(records.size()));
  image.resize(image.size() + 4);
  put16(image, 4, static_cast<std::uint32_t>(image.size()));
  put16(image, 6, static_cast<std::uint32_t>(after.size()));
  resealBase(image, image.size());
  image.insert(image.end(), after.begin(), after.end());
  return image;
}

// The extended sections of sampleV2, one by one, in its order (3, 2, 1).
std::vector<Bytes> sampleSections() {
  const Bytes image = sampleV2();
  Datasheet d;
  EXPECT_TRUE(d.decode(image.data(), image.size()));
  std::vector<Bytes> sections;
  for (std::size_t at = d.baseLength; at + 4 < image.size();) {
    const std::size_t length = 3 + (image[at + 1] | image[at + 2] << 8);
    sections.emplace_back(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at + length));
    at += length;
  }
  return sections;
}

Bytes sectionsOf(std::initializer_list<Bytes> parts) { return withSections(join(parts)); }

Bytes sampleFile(const char* name) {
  Bytes bytes;
  EXPECT_TRUE(readFileBytes(std::string(TRIMWELL_SAMPLE_DIR "/") + name, bytes)) << name;
  return bytes;
}

Bytes builtWithKeptParts() {
  Datasheet d;
  d.sensorId = 300;
  d.lengthLimit = 2048;
  test::setVersion(d, "2.00");
  test::addRaw(d, 1, kRawLong, 4);
  test::addDerived(d, 10, kCalibrated, {1}, 0, {0, 0, 1, 1}).type.keptTail = {9, 9};
  test::addDerived(d, 11, kPiecewise, {1}, 0, {0, 0, 1, 1, 2, 4}).type.keptTail = {7, 7, 7, 7, 7};
  test::addUnknown(d, 20, 9, {1, 2, 3, 4, 5, 6});
  return test::encodeImage(d);
}

struct RoundTripCase {
  const char* name;
  Bytes (*image)();
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

// Every image the station would write goes back byte for byte, and after a
// calibration differs from what was read only in the constants and the checksum.
TEST_P(RoundTrip, EncodesTheImageAsReadApartFromTheConstants) {
  const Bytes original = GetParam().image();
  ASSERT_FALSE(original.empty());
  Datasheet d;
  ASSERT_TRUE(d.decode(original.data(), original.size())) << std::hex << d.status;
  const Bytes asRead(original.begin(), original.begin() + static_cast<long>(d.imageAsRead().size()));
  EXPECT_EQ(d.imageAsRead(), asRead);
  EXPECT_EQ(static_cast<int>(asRead.size()), announcedImageLength(original.data()));
  EXPECT_EQ(encodeOk(d), asRead);

  std::size_t changed = 0;
  for (int i = 0; i < d.measurementCount; ++i) {
    Measurement& m = *d.measurement(i);
    std::size_t offset = 0;
    if (!m.constantsOffset(offset)) continue;
    for (int k = 0; k < std::min(m.type.constantCount, 4); ++k) {
      m.type.constants[static_cast<std::size_t>(k)] += 0.5 + k;
      ++changed;
    }
  }
  const Bytes calibrated = encodeOk(d);
  EXPECT_EQ(calibrated, d.imageWithConstants());
  ASSERT_EQ(calibrated.size(), asRead.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < asRead.size(); ++i) differing += calibrated[i] != asRead[i] ? 1 : 0;
  EXPECT_LE(differing, 4 * changed + 4);
  if (changed > 0) {
    EXPECT_GT(differing, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Images, RoundTrip,
    ::testing::Values(
        RoundTripCase{"sample_thermal_221", [] { return sampleFile("thermal_probe_221.sds"); }},
        RoundTripCase{"sample_ph_235", [] { return sampleFile("ph_electrode_235.sds"); }},
        RoundTripCase{"sample_oxygen_243", [] { return sampleFile("oxygen_probe_243.sds"); }},
        RoundTripCase{"built_sample_v2", sampleV2},
        RoundTripCase{"built_with_kept_parts", builtWithKeptParts},
        RoundTripCase{"unknown_type9_six_bytes",
                      [] {
                        return imageOfRecords("1.00", {recordOf(1, kRawLong, {}),
                                                       recordOf(10, kCalibrated, lineBlock(1)),
                                                       recordOf(20, 9, {1, 2, 3, 4, 5, 6})});
                      }},
        RoundTripCase{"line_block_longer",
                      [] {
                        return imageOfRecords("1.00", {recordOf(1, kRawLong, {}),
                                                       recordOf(10, kCalibrated, join({lineBlock(1), {0xA5, 0x5A}}))});
                      }},
        RoundTripCase{"pairs_block_longer",
                      [] {
                        return imageOfRecords("1.00", {recordOf(1, kRawLong, {}),
                                                       recordOf(11, kPiecewise,
                                                                join({{1, 0}, Bytes(24, 3), Bytes(5, 7)}))});
                      }},
        RoundTripCase{"option_line_high_bits",
                      [] {
                        return imageOfRecords("1.00", {recordOf(1, kRawLong, {}),
                                                       recordOf(12, kOptionLine, join({{1, 0, 0xF3}, Bytes(16, 1)}))});
                      }},
        RoundTripCase{"records_out_of_order",
                      [] {
                        return imageOfRecords("1.00", {recordOf(9, kRawScaled, {2}), recordOf(2, kRawScaled, {2}),
                                                       recordOf(7, kCalibrated, lineBlock(2))});
                      }},
        RoundTripCase{"newer_flag_bits_and_no_extended_part",
                      [] {
                        return imageOfRecords("2.00", {recordOf(1, kRawLong, {}, 0x31),
                                                       recordOf(10, kCalibrated, lineBlock(1), 0xF0)});
                      }},
        RoundTripCase{"header_bytes_after_its_text",
                      [] { return imageOfRecords("1.00", {recordOf(1, kRawLong, {})}, {}, "AB\0XYZ\0\0\0\x01"); }},
        RoundTripCase{"version1_with_an_extended_part",
                      [] { return imageOfRecords("1.00", {recordOf(1, kRawLong, {})}, Bytes(40, 0xAB)); }},
        RoundTripCase{"unknown_section_first",
                      [] {
                        const auto s = sampleSections();
                        return sectionsOf({{9, 5, 0, 1, 2, 3, 4, 5}, s[0], s[1], s[2]});
                      }},
        RoundTripCase{"unknown_empty_section_last",
                      [] {
                        const auto s = sampleSections();
                        return sectionsOf({s[0], s[1], s[2], {200, 0, 0}});
                      }},
        RoundTripCase{"sections_in_another_order",
                      [] {
                        const auto s = sampleSections();
                        return sectionsOf({s[2], s[1], s[0]});
                      }},
        RoundTripCase{"section3_names_an_unknown_id", [] { return sectionsOf({{3, 6, 0, 77, 0, 5, 0, 'x', 0}}); }},
        RoundTripCase{"section1_reserved_bytes_set",
                      [] { return sectionsOf({join({{1, 18, 0, 1, 2}, Bytes(16, 0xAA)})}); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Datasheet, PartsOfTheImageAsReadAreNamed) {
  const auto s = sampleSections();
  const Bytes image = sectionsOf({s[0], {9, 5, 0, 1, 2, 3, 4, 5}});
  Datasheet d;
  ASSERT_TRUE(d.decode(image.data(), image.size()));
  EXPECT_EQ(d.partAt(0), "the header");
  EXPECT_EQ(d.partAt(83), "the header");  // 58 bytes, the name "probe" and the carried words
  EXPECT_EQ(d.partAt(84), "measurement 1");
  EXPECT_EQ(d.partAt(d.baseLength - 5u), "measurement 5");
  EXPECT_EQ(d.partAt(d.baseLength - 4u), "the base checksum");
  EXPECT_EQ(d.partAt(d.baseLength), "extended section 1 (kind 3)");
  EXPECT_EQ(d.partAt(d.baseLength + s[0].size() + 7), "extended section 2 (kind 9)");
  EXPECT_EQ(d.partAt(image.size() - 1), "the extended part");
  EXPECT_EQ(d.partAt(image.size()), "the end of the image");
}

}  // namespace
}  // namespace trimwell
