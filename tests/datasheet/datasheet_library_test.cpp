#include "datasheet/datasheet_library.h"

#include <cstring>
#include <filesystem>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes imageFor(int sensorId, const char* name) {
  Datasheet d;
  d.sensorId = static_cast<std::uint16_t>(sensorId);
  d.lengthLimit = 2048;
  std::memcpy(d.versionText.data(), "1.05", 4);
  fromUtf8(name, d.name.text);
  Bytes buf(kMaxImageLength);
  std::size_t length = 0;
  EXPECT_TRUE(d.encode(buf.data(), buf.size(), &length));
  buf.resize(length);
  return buf;
}

class Library : public ::testing::Test {
 protected:
  void put(const std::string& name, const Bytes& bytes) { dir.write("plugins/datasheets/" + name, bytes); }
  DatasheetLibrary library() const { return DatasheetLibrary(dir.file("plugins/datasheets")); }
  std::string path(const std::string& name) const { return dir.file("plugins/datasheets/" + name); }
  test::TempDir dir;
};

TEST_F(Library, FindsTheFileBySensorIdNotName) {
  put("a.sds", imageFor(300, "other"));
  put("b.sds", imageFor(221, "probe"));
  put("c.txt", imageFor(221, "not a datasheet file"));
  Datasheet d;
  ASSERT_TRUE(library().loadForSensor(221, d));
  EXPECT_EQ(d.name.text, u"probe");
}

TEST_F(Library, MissingFolderOrNoMatchLeavesTheDatasheetAlone) {
  Datasheet d;
  d.sensorId = 5;
  EXPECT_FALSE(DatasheetLibrary(dir.file("nowhere")).loadForSensor(221, d));
  put("a.sds", imageFor(300, "other"));
  EXPECT_FALSE(library().loadForSensor(221, d));
  EXPECT_EQ(d.sensorId, 5);
}

TEST_F(Library, SensorIdZeroNeverMatches) {
  put("zero.sds", imageFor(0, "zero"));
  Datasheet d;
  EXPECT_FALSE(library().loadForSensor(0, d));
}

TEST_F(Library, FirstFileInNameOrderWinsEvenWhenCorrupt) {
  Bytes bad = imageFor(221, "first");
  bad[70] ^= 0xFF;
  put("a_first.sds", bad);
  put("b_second.sds", imageFor(221, "second"));
  Datasheet d;
  DatasheetLibrary lib = library();
  EXPECT_FALSE(lib.loadForSensor(221, d));
  EXPECT_EQ(d.status, kChecksumMismatch);
  EXPECT_EQ(d.name.text, u"first");
  EXPECT_EQ(lib.usedFile(), path("a_first.sds"));
  Datasheet other;
  EXPECT_FALSE(lib.loadForSensor(300, other));
  EXPECT_EQ(lib.usedFile(), "");  // no file of that ID
}

TEST_F(Library, ExtensionMatchesInAnyCase) {
  put("PROBE.SDS", imageFor(221, "upper"));
  put("mixed.Sds", imageFor(235, "mixed"));
  Datasheet d;
  ASSERT_TRUE(library().loadForSensor(221, d));
  EXPECT_EQ(d.name.text, u"upper");
  ASSERT_TRUE(library().loadForSensor(235, d));
  EXPECT_EQ(d.name.text, u"mixed");
}

// Names that match but are not files to read: the lookup goes on past them rather
// than block in the open or read a whole huge file into memory.
TEST_F(Library, OnlyRegularFilesAndOnlyWhatAnImageHolds) {
  put("b_valid.sds", imageFor(221, "valid"));
  std::filesystem::create_directories(path("a_folder.sds"));
  ASSERT_EQ(mkfifo(path("a_fifo.sds").c_str(), 0600), 0);
  Datasheet d;
  DatasheetLibrary lib = library();
  ASSERT_TRUE(lib.loadForSensor(221, d));
  EXPECT_EQ(d.name.text, u"valid");
  EXPECT_EQ(lib.usedFile(), path("b_valid.sds"));

  // A sparse file far larger than any image, with the sensor's ID in front.
  const std::string huge = path("0_huge.sds");
  put("0_huge.sds", imageFor(221, "huge"));
  std::filesystem::resize_file(huge, std::uintmax_t{64} << 30);
  std::vector<std::uint8_t> bytes;
  ASSERT_TRUE(readFileBytes(huge, bytes));
  EXPECT_EQ(bytes.size(), kMaxImageFileLength);
  ASSERT_TRUE(lib.loadForSensor(221, d));  // the image in front decodes; what follows is ignored
  EXPECT_EQ(d.name.text, u"huge");
}

TEST_F(Library, OneByteFileMatchesOnlyASmallId) {
  put("tiny.sds", Bytes{0x05});
  Datasheet d;
  EXPECT_FALSE(library().loadForSensor(0x0105, d));
  EXPECT_FALSE(library().loadForSensor(5, d));  // matches, then fails to decode
  EXPECT_EQ(d.status, kImageOverflow);
}

TEST(SampleLibrary, EverySampleSensorLoads) {
  DatasheetLibrary library(TRIMWELL_SAMPLE_DIR);
  for (int sensorId : {221, 235, 243}) {
    Datasheet d;
    EXPECT_TRUE(library.loadForSensor(sensorId, d)) << sensorId;
    EXPECT_EQ(d.sensorId, sensorId);
  }
}

}  // namespace
}  // namespace trimwell
