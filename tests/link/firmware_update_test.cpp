#include "link/firmware_update.h"

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/sim_fixture.h"
#include "support/temp_dir.h"

namespace trimwell {
namespace {

class FirmwareUpdate : public test::SimFixture {
 protected:
  void openInterface(int major, int minor, std::uint16_t product = kDockmonProduct) {
    interface = &plugInterface(0, product, major, minor);
    ASSERT_TRUE(link.open(0));
    interface->log.clear();
  }
  FirmwareImage imageOf(std::size_t length) {
    FirmwareImage image;
    image.link = &link;
    image.buffer.assign(length + 256, 0xA5);
    image.loadedLength = static_cast<std::uint32_t>(length);
    return image;
  }
  std::vector<const sim::LoggedRequest*> memoryWrites() const {
    std::vector<const sim::LoggedRequest*> writes;
    for (const auto& r : interface->log) {
      if (r.block.request == kRequestInterfaceMemory) writes.push_back(&r);
    }
    return writes;
  }
  void update(const std::string& path = test::sampleImagePath("Dockmon.hex")) {
    updateInterfaceFirmware(link, path, [this](const std::string& text) { messages.push_back(text); });
  }

  sim::SimulatedInterface* interface = nullptr;
  DeviceLink link;
  std::vector<std::string> messages;
};

struct VersionCase {
  int major;
  int minor;
  std::uint16_t product;
  bool failVersionRead;
  bool updated;
};

class UpdateDecision : public FirmwareUpdate, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(UpdateDecision, OnlyOldDockmonsAreUpdated) {
  const VersionCase& c = GetParam();
  openInterface(c.major, c.minor, c.product);
  if (c.failVersionRead) interface->failNext(kRequestInterfaceVersion);
  EXPECT_EQ(firmwareNeedsUpdate(link), c.updated);
}

INSTANTIATE_TEST_SUITE_P(Versions, UpdateDecision,
                         ::testing::Values(VersionCase{0, 9, 0x0002, false, true},
                                           VersionCase{1, 7, 0x0002, false, true},
                                           VersionCase{1, 8, 0x0002, false, false},
                                           VersionCase{2, 0, 0x0002, false, false},
                                           VersionCase{1, 8, 0x0002, true, true},
                                           VersionCase{1, 7, 0x0003, false, false}));

struct ChunkCase {
  std::size_t length;
  std::vector<std::size_t> chunks;
};

class Chunking : public FirmwareUpdate, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(Chunking, HoldChunksRelease) {
  openInterface(1, 7);
  FirmwareImage image = imageOf(GetParam().length);
  ASSERT_TRUE(image.download());
  const auto writes = memoryWrites();
  ASSERT_EQ(writes.size(), GetParam().chunks.size() + 2);
  EXPECT_EQ(writes.front()->block.value, kProcessorResetAddress);
  EXPECT_EQ(writes.front()->data, std::vector<std::uint8_t>{1});
  EXPECT_EQ(writes.back()->block.value, kProcessorResetAddress);
  EXPECT_EQ(writes.back()->data, std::vector<std::uint8_t>{0});
  std::size_t address = 0;
  for (std::size_t i = 0; i < GetParam().chunks.size(); ++i) {
    EXPECT_EQ(writes[i + 1]->block.value, address);
    EXPECT_EQ(writes[i + 1]->length, GetParam().chunks[i]);
    address += GetParam().chunks[i];
  }
  EXPECT_FALSE(interface->processorHeld);
  EXPECT_EQ(image.error, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, Chunking,
                         ::testing::Values(ChunkCase{1, {1}}, ChunkCase{1008, {1008}}, ChunkCase{1009, {1008, 1}},
                                           ChunkCase{8192, {1008, 1008, 1008, 1008, 1008, 1008, 1008, 1008, 128}}));

TEST_F(FirmwareUpdate, OversizedOrEmptyImageIsRefusedBeforeSending) {
  openInterface(1, 7);
  for (std::size_t length : {std::size_t{8193}, std::size_t{0}}) {
    FirmwareImage image = imageOf(length);
    EXPECT_FALSE(image.download());
    EXPECT_EQ(image.error, kFirmwareBadImage);
  }
  FirmwareImage noLink;
  EXPECT_FALSE(noLink.download());
  EXPECT_EQ(noLink.error, kFirmwareNoLink);
  EXPECT_TRUE(interface->log.empty());
}

TEST_F(FirmwareUpdate, FailedChunkLeavesTheProcessorHeld) {
  openInterface(1, 7);
  FirmwareImage image = imageOf(3000);
  interface->failNext(kRequestInterfaceMemory, 1, 2);  // the hold and chunk 1 pass, chunk 2 fails
  EXPECT_FALSE(image.download());
  EXPECT_EQ(image.error, kFirmwareRequestFailed);
  EXPECT_TRUE(interface->processorHeld);
  EXPECT_EQ(memoryWrites().size(), 3u);
}

TEST_F(FirmwareUpdate, FailedHoldOrReleaseIsReported) {
  openInterface(1, 7);
  for (int after : {0, 4}) {
    FirmwareImage image = imageOf(3000);
    interface->failNext(kRequestInterfaceMemory, 1, after);
    EXPECT_FALSE(image.download()) << after;
    EXPECT_EQ(image.error, kFirmwareRequestFailed);
  }
}

TEST_F(FirmwareUpdate, OldDockmonRunsTheSampleFirmwareAfterwards) {
  openInterface(1, 7);
  update();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(interface->firmwareMajor, 1);
  EXPECT_EQ(interface->firmwareMinor, 8);
  EXPECT_FALSE(interface->processorHeld);
  const auto writes = memoryWrites();
  EXPECT_EQ(writes.size(), 1u + 5u + 1u);  // 4096 bytes: four full chunks and one of 64
}

// What reaches the interface's program memory is the image, every byte where the
// file puts it; and a real interface's coming back is simulated: the old handle is gone.
TEST_F(FirmwareUpdate, ProgramMemoryHoldsTheImageByteForByte) {
  openInterface(1, 7);
  update();
  HexImage image;
  ASSERT_TRUE(image.loadImage(test::sampleImagePath("Dockmon.hex"), 0, HexImage::kDefaultWindow));
  ASSERT_GT(image.loadedLength, 1008u);
  EXPECT_TRUE(std::equal(image.buffer.begin(), image.buffer.begin() + image.loadedLength,
                         interface->programMemory.begin()));
  EXPECT_FALSE(link.isAlive());
  DeviceLink again;
  ASSERT_TRUE(again.open(0));
  int major = 0, minor = 0;
  EXPECT_TRUE(again.readInterfaceVersion(&major, &minor));
  EXPECT_EQ(minor, 8);
}

TEST_F(FirmwareUpdate, MissingFileIsReported) {
  openInterface(1, 7);
  test::TempDir dir;
  update(dir.file("Dockmon.hex"));
  EXPECT_EQ(messages, std::vector<std::string>{kFirmwareMissingText});
  EXPECT_TRUE(memoryWrites().empty());
  EXPECT_EQ(std::string(kFirmwareMissingText),
            "Warning!  Could not find '.\\plugins\\datasheets\\Dockmon.hex' to update Dockmon firmware!");
}

// Files that are there but must not be flashed: each gets a message of its own that
// names the file (and the line), and nothing reaches the interface.
struct RefusedFile {
  const char* name;
  std::string text;        // written as Dockmon.hex; empty name = a folder instead
  bool folder;
  const char* expected;    // part of the message
};

class RefusedFirmware : public FirmwareUpdate, public ::testing::WithParamInterface<RefusedFile> {};

TEST_P(RefusedFirmware, NothingIsSent) {
  const RefusedFile& c = GetParam();
  openInterface(1, 7);
  test::TempDir dir;
  if (c.folder) {
    std::filesystem::create_directory(dir.file("Dockmon.hex"));
  } else {
    dir.write("Dockmon.hex", c.text);
  }
  update(dir.file("Dockmon.hex"));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(c.expected), std::string::npos) << messages[0];
  EXPECT_NE(messages[0], kFirmwareWriteFailedText);
  EXPECT_TRUE(memoryWrites().empty());
  EXPECT_EQ(interface->firmwareMinor, 7);
  EXPECT_FALSE(interface->processorHeld);
}

const std::string kGoodRecord = ":0400100001020304E2\r\n";

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFirmware,
    ::testing::Values(
        RefusedFile{"empty", "", false, "Dockmon.hex' holds no firmware"},
        RefusedFile{"only_end_record", ":00000001FF\r\n", false, "holds no firmware"},
        RefusedFile{"folder", "", true, "Dockmon.hex' (it is not a regular file)"},
        RefusedFile{"bad_checksum", kGoodRecord + ":0400200001020304D3\r\n:00000001FF\r\n", false,
                    "Dockmon.hex line 2: the record checksum is wrong"},
        RefusedFile{"cut_short", kGoodRecord + kGoodRecord, false, "line 2: no end record"},
        RefusedFile{"blank_in_the_middle", kGoodRecord + "\r\n" + kGoodRecord + ":00000001FF\r\n", false,
                    "line 3: records follow the blank line 2"},
        RefusedFile{"records_after_the_end", kGoodRecord + ":00000001FF\r\n" + kGoodRecord, false,
                    "Dockmon.hex line 3: records follow the end record at line 2 and were not read"},
        RefusedFile{"bad_line", kGoodRecord + "garbage\r\n", false, "line 2: is not a valid record"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FirmwareUpdate, FailedDownloadIsReported) {
  openInterface(1, 7);
  interface->failNext(kRequestInterfaceMemory, 1, 3);
  update();
  EXPECT_EQ(messages, std::vector<std::string>{"Warning!  Could not write updated firmware to the Dockmon!\n"
                                               "Unplug the interface and plug it in again: until then it may stay "
                                               "held in reset, and no sensor is found."});
  EXPECT_EQ(interface->firmwareMinor, 7);
}

TEST_F(FirmwareUpdate, CurrentDockmonIsLeftAlone) {
  openInterface(1, 8);
  update();
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(memoryWrites().empty());
}

}  // namespace
}  // namespace trimwell
