// Decode and encode of a full-size datasheet, and loading a firmware file that fills
// the whole address window.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "datasheet/datasheet.h"
#include "datasheet/hex_image.h"

namespace {

using trimwell::Datasheet;

// 32 measurements: raw ones, lines over them and a few derived ones, about 2 KB.
std::vector<std::uint8_t> largeImage() {
  Datasheet d;
  d.sensorId = 243;
  d.lengthLimit = 8192;
  std::memcpy(d.versionText.data(), "2.00", 4);
  d.name.text = u"Benchmark probe with thirty-two measurements";
  for (int i = 0; i < 32; ++i) {
    trimwell::Measurement& m = d.addMeasurement();
    m.id = static_cast<std::uint16_t>(i + 1);
    m.primaryText.text = u"Measurement number";
    m.secondaryText.text = u"\u00B5S/cm";
    m.extensionText.text = u"extension";
    if (i < 16) {
      m.conversionType = trimwell::kRawScaled;
      m.type.sampleSize = 2;
    } else {
      m.conversionType = trimwell::kCalibrated;
      m.type.inputCount = 1;
      m.type.inputIds[0] = i - 15;
      m.type.constantCount = 4;
      m.type.constants = {0, 0, 1000, 100};
    }
  }
  std::vector<std::uint8_t> image(trimwell::kMaxImageLength);
  std::size_t length = 0;
  d.encode(image.data(), image.size(), &length);
  image.resize(length);
  return image;
}

void BM_DecodeDatasheet(benchmark::State& state) {
  const auto image = largeImage();
  for (auto _ : state) {
    Datasheet d;
    benchmark::DoNotOptimize(d.decode(image.data(), image.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
  state.counters["imageBytes"] = static_cast<double>(image.size());
}
BENCHMARK(BM_DecodeDatasheet);

void BM_EncodeDatasheet(benchmark::State& state) {
  const auto image = largeImage();
  Datasheet d;
  d.decode(image.data(), image.size());
  std::vector<std::uint8_t> out(trimwell::kMaxImageLength);
  for (auto _ : state) {
    std::size_t length = 0;
    benchmark::DoNotOptimize(d.encode(out.data(), out.size(), &length));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_EncodeDatasheet);

void BM_LoadFullWindowHex(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "trimwell-bench-full.hex";
  {
    std::ofstream out(path, std::ios::binary);
    char line[64];
    for (std::uint32_t address = 0; address < trimwell::HexImage::kDefaultWindow; address += 16) {
      if (address % 0x10000 == 0) {
        std::snprintf(line, sizeof line, ":02000004%04X00\r\n", address >> 16);
        out << line;
      }
      out << ":10" ;
      std::snprintf(line, sizeof line, "%04X00", address & 0xFFFF);
      out << line;
      for (int i = 0; i < 16; ++i) {
        std::snprintf(line, sizeof line, "%02X", (address + static_cast<std::uint32_t>(i)) & 0xFF);
        out << line;
      }
      out << "00\r\n";
    }
  }
  const auto fileSize = std::filesystem::file_size(path);
  trimwell::HexImage image;
  for (auto _ : state) {
    benchmark::DoNotOptimize(image.loadImage(path.string(), 0, trimwell::HexImage::kDefaultWindow));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fileSize));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadFullWindowHex)->Unit(benchmark::kMillisecond);

}  // namespace
