// Mutated images and firmware files: whatever the bytes, decoding stays inside its
// buffers (checked by the sanitizer build) and ends in a verdict, and whatever
// decodes encodes again into the image it was read from.

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "datasheet/datasheet.h"
#include "datasheet/datasheet_library.h"
#include "datasheet/hex_image.h"

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kRoundsPerSeed = 3000;

Bytes sample(const char* name) {
  Bytes bytes;
  EXPECT_TRUE(readFileBytes(std::string(TRIMWELL_SAMPLE_DIR "/") + name, bytes)) << name;
  return bytes;
}

void mutate(Bytes& bytes, std::mt19937& rng) {
  const int edits = 1 + static_cast<int>(rng() % 4);
  for (int e = 0; e < edits && !bytes.empty(); ++e) {
    const std::size_t at = rng() % bytes.size();
    switch (rng() % 5) {
      case 0: bytes[at] = static_cast<std::uint8_t>(rng()); break;
      case 1: bytes[at] ^= static_cast<std::uint8_t>(1u << (rng() % 8)); break;
      case 2: bytes.resize(at); break;
      case 3: bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<std::uint8_t>(rng())); break;
      default: bytes[at] = rng() % 2 ? 0xFF : 0x00; break;
    }
  }
}

// Keeps the checksums right after a mutation so that the decoder gets past them.
void reseal(Bytes& bytes) {
  if (bytes.size() < 8) return;
  const std::size_t base = bytes[4] | bytes[5] << 8;
  if (base < 4 || base > bytes.size()) return;
  const std::uint32_t sum = imageChecksum(bytes.data(), base - 4);
  for (int i = 0; i < 4; ++i) bytes[base - 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(sum >> (8 * i));
}

class MutatedImage : public ::testing::TestWithParam<const char*> {};

TEST_P(MutatedImage, DecodesOrFailsWithinBounds) {
  const Bytes original = sample(GetParam());
  ASSERT_FALSE(original.empty());
  std::mt19937 rng(12345);
  int decoded = 0;
  for (int round = 0; round < kRoundsPerSeed; ++round) {
    Bytes bytes = original;
    mutate(bytes, rng);
    if (round % 2 == 0) reseal(bytes);
    // An exact-size copy, so that any read past the end is caught by the sanitizer.
    auto exact = std::make_unique<std::uint8_t[]>(bytes.size() + 1);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    Datasheet d;
    const bool ok = d.decode(exact.get(), bytes.size());
    EXPECT_EQ(ok, d.status == kDatasheetOk);
    if (!ok) {
      EXPECT_GE(d.status, kTooManyMeasurements);
      EXPECT_LE(d.status, kBaseLengthTooLarge);
      continue;
    }
    ++decoded;
    Bytes first(kMaxImageLength * 2);
    std::size_t length = 0;
    if (!d.encode(first.data(), first.size(), &length)) continue;
    first.resize(length);
    // Whatever the station reads it writes back as it came.
    EXPECT_EQ(first, d.imageAsRead()) << "round " << round;
    Datasheet again;
    ASSERT_TRUE(again.decode(first.data(), first.size())) << std::hex << again.status;
    Bytes second(kMaxImageLength * 2);
    std::size_t secondLength = 0;
    ASSERT_TRUE(again.encode(second.data(), second.size(), &secondLength));
    second.resize(secondLength);
    EXPECT_EQ(first, second);
  }
  EXPECT_GT(decoded, 0);  // the resealed mutations must reach the records
}

INSTANTIATE_TEST_SUITE_P(Samples, MutatedImage,
                         ::testing::Values("thermal_probe_221.sds", "ph_electrode_235.sds", "oxygen_probe_243.sds"));

TEST(MutatedHex, ParsesOrFailsWithinBounds) {
  Bytes original = sample("Dockmon.hex");
  original.resize(1500);
  std::mt19937 rng(777);
  HexImage image;
  Bytes buffer(0x1000 + 256);
  for (int round = 0; round < kRoundsPerSeed; ++round) {
    Bytes text = original;
    mutate(text, rng);
    std::FILE* file = fmemopen(text.data(), text.size(), "rb");
    ASSERT_NE(file, nullptr);
    image.error = kHexOk;
    std::uint32_t loaded = 0;
    const bool ok = image.readRecords(file, "input", 1, buffer.data(), 0, 0x1000, loaded);
    std::fclose(file);
    EXPECT_EQ(ok, image.error == kHexOk);
    EXPECT_LE(loaded, 0x1000u);
  }
}

}  // namespace
}  // namespace trimwell
