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
  void update(const std::string& path = test::sampleImagePath("Dockmon.hex"), FirmwareHistory* history = nullptr) {
    updateInterfaceFirmware(
        link, path, [this](const std::string& text) { messages.push_back(text); }, nullptr, {}, history);
  }
  // The interface is back on the bus after a download: a new link to it.
  void reopen() {
    link.close();
    ASSERT_TRUE(link.open(0));
    interface->log.clear();
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
                                           VersionCase{1, 8, 0x0002, true, false},
                                           VersionCase{1, 7, 0x0002, true, false},
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
  EXPECT_EQ(messages, std::vector<std::string>{std::string(kFirmwareMissingText) + "\nThe station looked for it at " +
                                               dir.file("Dockmon.hex") + "."});
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

// An Intel-HEX data record at address, with its checksum.
std::string hexRecord(std::uint16_t address, std::string_view bytes) {
  std::string line = ":";
  unsigned sum = 0;
  auto put = [&](unsigned byte) {
    static const char digits[] = "0123456789ABCDEF";
    line += digits[(byte >> 4) & 0xF];
    line += digits[byte & 0xF];
    sum += byte;
  };
  put(static_cast<unsigned>(bytes.size()));
  put(address >> 8u);
  put(address & 0xFFu);
  put(0);
  for (char c : bytes) put(static_cast<unsigned char>(c));
  put((0x100u - (sum & 0xFFu)) & 0xFFu);
  return line + "\r\n";
}

// A firmware file whose header (empty: none) says one version and whose banner
// (which the simulated interface runs and reports) names another.
std::string firmwareText(const std::string& header, const std::string& banner) {
  const std::string text = "Dockmon firmware " + banner + std::string(1, '\0');
  std::string file = header.empty() ? "" : "Version-" + header + "\r\n";
  file += hexRecord(0, std::string("\x02\x01\x00", 3));
  file += hexRecord(0x100, std::string_view(text).substr(0, 16));
  file += hexRecord(0x110, std::string_view(text).substr(16));
  return file + ":00000001FF\r\n";
}

// Whether a file is sent is decided by the version it says it holds: its header,
// or the "_vMMmm" of the newest versioned file beside it.
struct FileVersionCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // name, header ("" = none)
  const char* refusal;  // part of the message, or nullptr when the file is sent
};

class FileVersion : public FirmwareUpdate, public ::testing::WithParamInterface<FileVersionCase> {};

TEST_P(FileVersion, OnlyAFileOfTheNeededVersionIsSent) {
  const FileVersionCase& c = GetParam();
  openInterface(1, 7);
  test::TempDir dir;
  for (const auto& [name, header] : c.files) dir.write(name, firmwareText(header, "01.08"));
  update(dir.file("Dockmon.hex"));
  if (c.refusal == nullptr) {
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_FALSE(memoryWrites().empty());
    EXPECT_EQ(interface->firmwareMinor, 8);
    return;
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find(c.refusal), std::string::npos) << messages[0];
  EXPECT_TRUE(memoryWrites().empty());
  EXPECT_EQ(interface->firmwareMinor, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileVersion,
    ::testing::Values(
        FileVersionCase{"header_1_8", {{"Dockmon.hex", "0108"}}, nullptr},
        FileVersionCase{"header_1_9", {{"Dockmon.hex", "0109"}}, nullptr},
        FileVersionCase{"header_1_7",
                        {{"Dockmon.hex", "0107"}},
                        "Dockmon.hex' holds Dockmon firmware 1.7, but the Dockmon needs 1.8, so it was not updated. "
                        "Put the Dockmon's 1.8 firmware file there and plug the interface again."},
        FileVersionCase{"no_header",
                        {{"Dockmon.hex", ""}},
                        "Dockmon.hex' does not say which firmware version it holds (it has no Version-MMmm header), "
                        "so the Dockmon was not updated: it needs 1.8."},
        FileVersionCase{"named_1_8", {{"Dockmon_v0108.hex", ""}}, nullptr},
        FileVersionCase{"named_1_7", {{"Dockmon_v0107.hex", ""}}, "Dockmon_v0107.hex' holds Dockmon firmware 1.7"},
        FileVersionCase{"newer_named_beside_old", {{"Dockmon.hex", "0107"}, {"Dockmon_v0108.hex", ""}}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// A file that says 1.8 but leaves the interface on 1.7 is written once: at every
// re-enumeration after that it is refused, with both versions, until another file
// is there.
TEST_F(FirmwareUpdate, AFileThatDidNotTakeIsNotSentAgain) {
  openInterface(1, 7);
  test::TempDir dir;
  dir.write("Dockmon.hex", firmwareText("0108", "01.07"));
  FirmwareHistory history;
  update(dir.file("Dockmon.hex"), &history);
  EXPECT_TRUE(messages.empty());
  EXPECT_FALSE(memoryWrites().empty());
  EXPECT_FALSE(link.isAlive());
  for (int scan = 0; scan < 3; ++scan) {
    reopen();
    update(dir.file("Dockmon.hex"), &history);
    EXPECT_TRUE(memoryWrites().empty()) << scan;
  }
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0], "Warning!  The Dockmon came back with firmware 1.7 after '" + dir.file("Dockmon.hex") +
                             "' was written to it, though the file says it holds 1.8; the Dockmon needs 1.8, so the "
                             "file is not sent again. Put the Dockmon's 1.8 firmware file there and plug the "
                             "interface again.");
  dir.write("Dockmon.hex", firmwareText("0108", "01.08"));
  update(dir.file("Dockmon.hex"), &history);
  EXPECT_FALSE(memoryWrites().empty());
  EXPECT_EQ(interface->firmwareMinor, 8);
}

// A file that took is sent to the next old interface as well.
TEST_F(FirmwareUpdate, AFileThatTookIsSentToTheNextOldInterface) {
  FirmwareHistory history;
  for (int unit = 0; unit < 2; ++unit) {
    openInterface(1, 7);
    update(test::sampleImagePath("Dockmon.hex"), &history);
    EXPECT_FALSE(memoryWrites().empty()) << unit;
    reopen();
    update(test::sampleImagePath("Dockmon.hex"), &history);
    EXPECT_TRUE(memoryWrites().empty()) << unit;
    link.close();
  }
  EXPECT_TRUE(messages.empty()) << messages.front();
}

// An interface that never answers the version request is not taken for 0.0:
// nothing is sent, and the operator hears that its version could not be read.
TEST_F(FirmwareUpdate, AnInterfaceThatDoesNotTellItsVersionIsLeftAlone) {
  openInterface(1, 8);
  interface->answersVersion = false;
  InterfaceIdentity seen;
  FirmwareHistory history;
  for (int scan = 0; scan < 2; ++scan) {
    EXPECT_TRUE(updateInterfaceFirmware(
        link, test::sampleImagePath("Dockmon.hex"), [this](const std::string& text) { messages.push_back(text); },
        &seen, {}, &history));
  }
  EXPECT_FALSE(seen.versionRead);
  EXPECT_EQ(seen.product, kDockmonProduct);
  EXPECT_TRUE(memoryWrites().empty());
  EXPECT_EQ(messages, std::vector<std::string>(2, kFirmwareVersionUnreadText));
  EXPECT_EQ(std::string(kFirmwareVersionUnreadText),
            "Warning!  The Dockmon did not tell its firmware version, so its firmware was not updated. Unplug the "
            "interface and plug it in again; if it still does not tell, it needs servicing.");
}

TEST_F(FirmwareUpdate, CurrentDockmonIsLeftAlone) {
  openInterface(1, 8);
  update();
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(memoryWrites().empty());
}

}  // namespace
}  // namespace trimwell
