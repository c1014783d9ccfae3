#include "datasheet/hex_image.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace trimwell {
namespace {

// A record line: the start, the body bytes in hex, and the checksum the format takes
// of the body's byte sum (Intel: its two's complement; S-records: its complement).
std::string recordLine(const char* start, const std::vector<std::uint8_t>& body, bool complementOnly) {
  std::uint32_t sum = 0;
  std::string line = start;
  char hex[3];
  for (std::uint8_t b : body) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    line += hex;
    sum += b;
  }
  std::snprintf(hex, sizeof hex, "%02X", static_cast<std::uint8_t>(complementOnly ? ~sum : 0u - sum));
  return line + hex + "\r\n";
}

std::string intelRecord(std::uint32_t address, int type, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(type)};
  body.insert(body.end(), data.begin(), data.end());
  return recordLine(":", body, false);
}

struct LoadCase {
  const char* name;
  std::string text;
  std::uint32_t windowLength;
  bool ok;
  int error;
  std::uint32_t loadedLength;
  std::uint32_t checkAt;   // buffer offset checked when loaded
  std::uint8_t checkByte;
};

class HexLoad : public ::testing::TestWithParam<LoadCase> {};

TEST_P(HexLoad, LoadsTheWindow) {
  const LoadCase& c = GetParam();
  test::TempDir dir;
  dir.write("fw.hex", c.text);
  HexImage image;
  EXPECT_EQ(image.loadImage(dir.file("fw.hex"), 0, c.windowLength), c.ok);
  EXPECT_EQ(image.error, c.error);
  EXPECT_EQ(image.loadedLength, c.loadedLength);
  if (c.ok) {
    EXPECT_EQ(image.partFlags, 0x0F);
    EXPECT_EQ(image.buffer[c.checkAt], c.checkByte);
  }
}

// Records written for these tests after Intel's published HEX record layout
// (revision A of its hexadecimal object file format) and Motorola's S-records, their
// checksums worked by hand: for :0400100001020304E2, 0x100 minus the low byte of
// 04+00+10+00+01+02+03+04 = 0xE2; for S1070010AABBCCDDDA, the ones' complement of
// the low byte of 07+00+10+AA+BB+CC+DD = 0xDA.
INSTANTIATE_TEST_SUITE_P(
    Files, HexLoad,
    ::testing::Values(
        LoadCase{"intel_record", ":0400100001020304E2\n", 0x100, true, 0, 0x14, 0x13, 0x04},
        LoadCase{"extended_address_outside", ":020000040001F9\n:0400100001020304E2\n", 0x100, true, 0, 0, 0x10, 0},
        LoadCase{"extended_address_inside", ":020000040001F9\n:0400100001020304E2\n", 0x20000, true, 0, 0x10014,
                 0x10010, 0x01},
        LoadCase{"straddles_window_end", ":04000E0001020304E4\n", 0x10, true, 0, 0, 0x0E, 0},
        LoadCase{"s1_record", "S1070010AABBCCDDDA\n", 0x100, true, 0, 0x14, 0x10, 0xAA},
        LoadCase{"s3_record", "S3090000002011223344XX\n", 0x100, true, 0, 0x24, 0x23, 0x44},
        LoadCase{"blank_line_ends", ":0400100001020304E2\n\n:0400200001020304D2\n", 0x100, true, 0, 0x14, 0x20, 0},
        LoadCase{"bad_digit", ":04001000010G0304E2\n", 0x100, false, 2, 0, 0, 0},
        LoadCase{"garbage_line", "hello\n", 0x100, false, 2, 0, 0, 0},
        LoadCase{"short_record", ":0400100001\n", 0x100, false, 2, 0, 0, 0},
        LoadCase{"ignored_types", ":00000001FF\nS9030000FC\nS0030000FC\n", 0x100, true, 0, 0, 0, 0},
        LoadCase{"empty_file", "", 0x100, true, 0, 0, 0, 0},
        LoadCase{"version_header", "Version-0108\r\n:0400100001020304E2\r\n", 0x100, true, 0, 0x14, 0x10, 0x01},
        // Segment 0x0100 puts the record at 0x0000 on 0x1000, clear of the reset vector.
        LoadCase{"segment_address", ":020000020100FB\n:0400000001020304F2\n", 0x2000, true, 0, 0x1004, 0x1000, 0x01},
        LoadCase{"segment_then_linear", ":020000020100FB\n:020000040000FA\n:0400000001020304F2\n", 0x2000, true, 0,
                 4, 0x0000, 0x01},
        LoadCase{"linear_then_segment", ":020000040001F9\n:020000020100FB\n:0400000001020304F2\n", 0x20000, true, 0,
                 0x1004, 0x1003, 0x04},
        // The same address again after the end record: the first data stays.
        LoadCase{"data_after_end", ":0400100001020304E2\n:00000001FF\n:0400100005060708D2\n", 0x100, true, 0, 0x14,
                 0x10, 0x01},
        LoadCase{"data_after_s9", "S1070010AABBCCDDDA\nS9030000FC\nS1070020AABBCCDDCA\n", 0x100, true, 0, 0x14,
                 0x20, 0x00}),
    [](const auto& info) { return std::string(info.param.name); });

std::string withLineEnds(std::string text, const char* lineEnd) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') out += lineEnd; else out += c;
  }
  return out;
}

std::string sRecord1(std::uint16_t address, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body = {static_cast<std::uint8_t>(data.size() + 3), static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address)};
  body.insert(body.end(), data.begin(), data.end());
  return recordLine("S1", body, true);
}

const std::string kIntelEnd = ":00000001FF\r\n";

// Four records of one size, in LF or CRLF: every byte of every record is loaded,
// whatever the length of the line (58 data bytes make a 127-character line).
struct LineCase {
  int dataBytes;
  bool sRecords;
  const char* lineEnd;
};

class LongLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(LongLines, EveryRecordIsRead) {
  const LineCase& c = GetParam();
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const std::vector<std::uint8_t> data(static_cast<std::size_t>(c.dataBytes), static_cast<std::uint8_t>(0x10 + i));
    const auto address = static_cast<std::uint16_t>(i * c.dataBytes);
    text += c.sRecords ? sRecord1(address, data) : intelRecord(address, 0, data);
  }
  text += c.sRecords ? "S9030000FC\r\n" : kIntelEnd;
  test::TempDir dir;
  dir.write("fw.hex", withLineEnds(text, c.lineEnd));
  HexImage image;
  ASSERT_TRUE(image.loadImage(dir.file("fw.hex"), 0, 0x1000));
  EXPECT_EQ(image.loadedLength, static_cast<std::uint32_t>(4 * c.dataBytes));
  EXPECT_EQ(image.buffer[static_cast<std::size_t>(4 * c.dataBytes - 1)], 0x13);
  EXPECT_TRUE(image.findings.empty()) << describeFinding(image.findings.front());
}

INSTANTIATE_TEST_SUITE_P(Sizes, LongLines,
                         ::testing::Values(LineCase{57, false, "\n"}, LineCase{58, false, "\n"},
                                           LineCase{58, false, "\r\n"}, LineCase{59, false, "\r\n"},
                                           LineCase{255, false, "\r\n"}, LineCase{58, true, "\r\n"},
                                           LineCase{58, true, "\n"}, LineCase{200, true, "\n"}));

// What a firmware update must refuse although the loader, by its own rules, loads it.
struct FindingCase {
  const char* name;
  std::string text;
  int line;
  const char* problem;
};

class HexFindings : public ::testing::TestWithParam<FindingCase> {};

TEST_P(HexFindings, AreReportedWithTheirLine) {
  const FindingCase& c = GetParam();
  test::TempDir dir;
  dir.write("fw.hex", c.text);
  HexImage image;
  ASSERT_TRUE(image.loadImage(dir.file("fw.hex"), 0, 0x1000));
  ASSERT_FALSE(image.findings.empty());
  const HexFinding& first = image.findings.front();
  EXPECT_EQ(first.file, dir.file("fw.hex"));
  EXPECT_EQ(first.line, c.line);
  EXPECT_NE(first.problem.find(c.problem), std::string::npos) << first.problem;
}

const std::string kRecordA = intelRecord(0x0000, 0, {1, 2, 3, 4});
const std::string kRecordB = intelRecord(0x0004, 0, {5, 6, 7, 8});

std::string withDigitChanged(std::string record, std::size_t at, char digit) {
  record[at] = digit;
  return record;
}

INSTANTIATE_TEST_SUITE_P(
    Files, HexFindings,
    ::testing::Values(
        FindingCase{"checksum_wrong", kRecordA + withDigitChanged(kRecordB, 18, '0') + kIntelEnd, 2, "checksum"},
        FindingCase{"data_byte_changed", kRecordA + withDigitChanged(kRecordB, 16, '9') + kIntelEnd, 2, "checksum"},
        FindingCase{"s1_checksum_wrong", sRecord1(0, {1, 2}) + "S1050002030400\r\nS9030000FC\r\n", 2,
                    "checksum"},
        FindingCase{"cut_at_a_line", kRecordA + kRecordB, 2, "no end record"},
        FindingCase{"header_then_cut", "Version-0108\r\n" + kRecordA, 2, "no end record"},
        FindingCase{"records_after_blank", kRecordA + "\r\n" + kRecordB + kIntelEnd, 3, "blank line 2"},
        FindingCase{"records_after_end", kRecordA + kIntelEnd + kRecordB, 3,
                    "records follow the end record at line 2 and were not read"},
        FindingCase{"blank_then_records_after_end", kRecordA + kIntelEnd + "\r\n" + kRecordB, 4,
                    "end record at line 2"},
        FindingCase{"text_after_end", kRecordA + kIntelEnd + "hello\r\n", 3, "end record at line 2"},
        FindingCase{"s_records_after_s9", sRecord1(0, {1, 2}) + "S9030000FC\r\n" + sRecord1(2, {3}), 3,
                    "end record at line 2"},
        FindingCase{"segment_checksum_wrong", withDigitChanged(intelRecord(0, 2, {0x01, 0x00}), 14, '0') + kRecordA +
                                                  kIntelEnd,
                    1, "checksum"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexFindings, CleanFilesHaveNone) {
  test::TempDir dir;
  dir.write("a.hex", kRecordA + kRecordB + kIntelEnd + "\r\n\r\n");  // blank lines after the end
  dir.write("b.hex", sRecord1(0, {1, 2, 3}) + "S9030000FC\n");
  for (const char* name : {"a.hex", "b.hex"}) {
    HexImage image;
    ASSERT_TRUE(image.loadImage(dir.file(name), 0, 0x1000)) << name;
    EXPECT_TRUE(image.findings.empty()) << name;
  }
}

TEST(HexFindings, BadLineIsNamed) {
  test::TempDir dir;
  dir.write("fw.hex", kRecordA + "hello\r\n");
  HexImage image;
  EXPECT_FALSE(image.loadImage(dir.file("fw.hex"), 0, 0x1000));
  ASSERT_EQ(image.findings.size(), 1u);
  EXPECT_EQ(describeFinding(image.findings[0]), dir.file("fw.hex") + " line 2: is not a valid record");
}

// A file of bad records from end to end (a log, a damaged copy) is read to its end,
// but the notes about it stop at the cap: the first ones tell what is wrong.
TEST(HexFindings, StayAtTheirCapHoweverManyLinesAreBad) {
  const std::string bad = withDigitChanged(kRecordB, 18, '0');
  std::string text = kRecordA;
  constexpr int kBadLines = 200000;
  text.reserve(text.size() + bad.size() * kBadLines + kIntelEnd.size());
  for (int i = 0; i < kBadLines; ++i) text += bad;
  text += kIntelEnd;
  test::TempDir dir;
  dir.write("fw.hex", text);
  HexImage image;
  ASSERT_TRUE(image.loadImage(dir.file("fw.hex"), 0, 0x1000));
  ASSERT_EQ(image.findings.size(), HexImage::kMaxFindings);
  EXPECT_EQ(image.findings.front().line, 2);
  EXPECT_EQ(image.findings.back().line, 1 + static_cast<int>(HexImage::kMaxFindings));
  EXPECT_NE(image.findings.back().problem.find("checksum"), std::string::npos);
}

TEST(HexHeader, LineEndsAndShortFiles) {
  test::TempDir dir;
  const std::string record = ":0400100001020304E2";
  for (const char* end : {"\r\n", "\n"}) {
    dir.write("fw.hex", std::string("Version-0108") + end + record + end + ":00000001FF" + end);
    HexImage image;
    ASSERT_TRUE(image.loadImage(dir.file("fw.hex"), 0, 0x100)) << "line end " << (end[0] == '\n' ? "LF" : "CRLF");
    EXPECT_EQ(image.loadedLength, 0x14u);
    EXPECT_EQ(image.buffer[0x10], 0x01);
    EXPECT_TRUE(image.findings.empty());
  }
  // Missing header bytes read as 0: a whole version still counts, a cut one does not.
  dir.write("short.hex", "Version-0108");
  EXPECT_EQ(headerVersion(dir.file("short.hex")), 0x10008u);
  dir.write("shorter.hex", "Version-01");
  EXPECT_EQ(headerVersion(dir.file("shorter.hex")), 0u);
}

TEST(HexLoad, MissingFileIsErrorOne) {
  test::TempDir dir;
  HexImage image;
  EXPECT_FALSE(image.loadImage(dir.file("none.hex"), 0, 0x100));
  EXPECT_EQ(image.error, kHexFileMissing);
}

TEST(NameVersion, Suffixes) {
  EXPECT_EQ(nameVersion("Dockmon_V0203.hex"), 0x20003u);
  EXPECT_EQ(nameVersion("Dockmon_v0112.hex"), 0x1000Cu);
  EXPECT_EQ(nameVersion("Dockmon_v12.hex"), 0u);
  EXPECT_EQ(nameVersion("Dockmon.hex"), 0u);
  EXPECT_EQ(nameVersion("Dock_mon_x0112"), 0u);
}

// The platform's name search ignores case; the chosen name must be the one that is
// really in the folder, or the open fails.
TEST(ChooseNewest, SiblingNamesAreTakenAsTheyStand) {
  test::TempDir dir;
  dir.write("Dockmon.hex", "Version-0108\r\n:0400100001020304E2\r\n:00000001FF\r\n");
  dir.write("Dockmon_V0112.HEX", ":0400100011121314A2\r\n:00000001FF\r\n");
  EXPECT_EQ(chooseNewest(dir.file("Dockmon.hex")), dir.file("Dockmon_V0112.HEX"));
  HexImage image;
  ASSERT_TRUE(image.loadImage(dir.file("Dockmon.hex"), 0, 0x100));
  EXPECT_EQ(image.buffer[0x10], 0x11);
}

TEST(HexLoad, FifoIsNotOpened) {
  test::TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fw.hex").c_str(), 0600), 0);
  HexImage image;
  EXPECT_EQ(headerVersion(dir.file("fw.hex")), 0u);
  EXPECT_FALSE(image.loadImage(dir.file("fw.hex"), 0, 0x100));
  EXPECT_EQ(image.error, kHexFileMissing);
}

TEST(ChooseNewest, HeaderAgainstVersionedSiblings) {
  test::TempDir dir;
  dir.write("Dockmon_v0107.hex", "");
  dir.write("Dockmon_v0112.hex", "");
  dir.write("Dockmon.hex", "Version-0108\r\n");
  EXPECT_EQ(chooseNewest(dir.file("Dockmon.hex")), dir.file("Dockmon_v0112.hex"));
  dir.write("Dockmon.hex", "Version-0112\r\n");
  EXPECT_EQ(chooseNewest(dir.file("Dockmon.hex")), dir.file("Dockmon.hex"));
  EXPECT_EQ(chooseNewest(dir.file("Dockmon_v0107.hex")), dir.file("Dockmon_v0107.hex"));
  EXPECT_EQ(headerVersion(dir.file("Dockmon.hex")), 0x1000Cu);
  EXPECT_EQ(headerVersion(dir.file("missing.hex")), 0u);
}

std::string partFile(std::uint8_t common, std::uint8_t bank) {
  return intelRecord(0x0000, 0, {common, common}) + intelRecord(0xC000, 0, {bank, bank, bank});
}

TEST(BankedImage, AssemblesThePartsWhenTheFileIsMissing) {
  test::TempDir dir;
  dir.write("Dockmon.h03", partFile(0x11, 0x33));
  dir.write("Dockmon.h05", partFile(0x11, 0x55));
  HexImage image;
  ASSERT_TRUE(image.loadImage(dir.file("Dockmon.hex"), 0, 0x30000));
  EXPECT_EQ(image.partFlags, 0x08 | 0x20 | 0x07);
  EXPECT_EQ(image.loadedLength, 0x14000u + 0x4000u);
  EXPECT_EQ(image.buffer[0], 0x11);
  EXPECT_EQ(image.buffer[2], 0xFF);  // unfilled bytes of a part read as erased flash
  EXPECT_EQ(image.buffer[0xC000], 0x33);
  EXPECT_EQ(image.buffer[0x14000], 0x55);
  EXPECT_EQ(image.buffer[0x10000], 0x00);  // part 4 missing
}

TEST(BankedImage, PartsThatDisagreeFail) {
  test::TempDir dir;
  dir.write("Dockmon.h03", partFile(0x11, 0x33));
  dir.write("Dockmon.h04", partFile(0x12, 0x44));
  HexImage image;
  EXPECT_FALSE(image.loadImage(dir.file("Dockmon.hex"), 0, 0x30000));
  EXPECT_EQ(image.error, kHexPartsDisagree);
}

TEST(BankedImage, WithoutPartThreeTheFileIsMissing) {
  test::TempDir dir;
  dir.write("Dockmon.h04", partFile(0x11, 0x44));
  HexImage image;
  EXPECT_FALSE(image.loadImage(dir.file("Dockmon.hex"), 0, 0x30000));
  EXPECT_EQ(image.error, kHexFileMissing);
}

TEST(BankedImage, SmallWindowNeverReportsMoreThanItHolds) {
  test::TempDir dir;
  dir.write("Dockmon.h03", partFile(0x11, 0x33));
  HexImage image;
  ASSERT_TRUE(image.loadImage(dir.file("Dockmon.hex"), 0, 0x100));
  EXPECT_EQ(image.loadedLength, 0x100u);
  EXPECT_GE(image.buffer.size(), image.loadedLength);
}

TEST(SampleFirmware, LoadsWithItsVersion) {
  HexImage image;
  ASSERT_TRUE(image.loadImage(TRIMWELL_SAMPLE_DIR "/Dockmon.hex", 0, HexImage::kDefaultWindow));
  EXPECT_GT(image.loadedLength, 0u);
  EXPECT_LT(image.loadedLength, 8192u);
  EXPECT_EQ(headerVersion(TRIMWELL_SAMPLE_DIR "/Dockmon.hex"), 0x10008u);
}

}  // namespace
}  // namespace trimwell
