#include "datasheet/hex_image.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace trimwell {
namespace {

std::string intelRecord(std::uint32_t address, int type, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> body = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(type)};
  body.insert(body.end(), data.begin(), data.end());
  std::uint8_t sum = 0;
  std::string line = ":";
  char hex[3];
  for (std::uint8_t b : body) {
    std::snprintf(hex, sizeof hex, "%02X", b);
    line += hex;
    sum = static_cast<std::uint8_t>(sum + b);
  }
  std::snprintf(hex, sizeof hex, "%02X", static_cast<std::uint8_t>(-sum));
  return line + hex + "\r\n";
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
        LoadCase{"version_header", "Version-0108\r\n:0400100001020304E2\r\n", 0x100, true, 0, 0x14, 0x10, 0x01}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HexLoad, LongLinesAreReadInPieces) {
  test::TempDir dir;
  // A 32-byte record is 75 characters; a 64-byte one is 139 and splits into two pieces.
  dir.write("ok.hex", intelRecord(0, 0, std::vector<std::uint8_t>(32, 0x5A)));
  dir.write("long.hex", intelRecord(0, 0, std::vector<std::uint8_t>(64, 0x5A)));
  HexImage image;
  EXPECT_TRUE(image.loadImage(dir.file("ok.hex"), 0, 0x100));
  EXPECT_EQ(image.loadedLength, 32u);
  EXPECT_FALSE(image.loadImage(dir.file("long.hex"), 0, 0x100));
  EXPECT_EQ(image.error, kHexBadLine);
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
