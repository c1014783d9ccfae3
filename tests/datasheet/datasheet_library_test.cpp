#include "datasheet/datasheet_library.h"

#include <cstring>

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
  EXPECT_FALSE(library().loadForSensor(221, d));
  EXPECT_EQ(d.status, kChecksumMismatch);
  EXPECT_EQ(d.name.text, u"first");
}

TEST_F(Library, OneByteFileMatchesOnlyASmallId) {
  put("tiny.sds", Bytes{0x05});
  Datasheet d;
  EXPECT_FALSE(library().loadForSensor(0x0105, d));
  EXPECT_FALSE(library().loadForSensor(5, d));  // matches, then fails to decode
  EXPECT_EQ(d.status, kImageOverflow);
}

TEST(SampleLibrary, EverySampleSensorLoads) {
  const DatasheetLibrary library(TRIMWELL_SAMPLE_DIR);
  for (int sensorId : {221, 235, 243}) {
    Datasheet d;
    EXPECT_TRUE(library.loadForSensor(sensorId, d)) << sensorId;
    EXPECT_EQ(d.sensorId, sensorId);
  }
}

}  // namespace
}  // namespace trimwell
