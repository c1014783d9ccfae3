// libFuzzer target: any bytes as the text of a firmware file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "datasheet/hex_image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::vector<std::uint8_t> text(data, data + size);
  std::FILE* file = fmemopen(text.data(), text.size(), "rb");
  if (file == nullptr) return 0;
  trimwell::HexImage image;
  std::vector<std::uint8_t> buffer(0x1000 + 256);
  std::uint32_t loaded = 0;
  image.readRecords(file, "input", 1, buffer.data(), 0, 0x1000, loaded);
  std::fclose(file);
  if (loaded > 0x1000) std::abort();
  return 0;
}
