#include "datasheet/datasheet.h"

#include <cstring>
#include <vector>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace trimwell
