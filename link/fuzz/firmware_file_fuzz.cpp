// libFuzzer target: the whole firmware loading path. The input is up to six files
// parted by a line "=====": the firmware file, a newer sibling (_v0109), and
// banked parts .h03 to .h06; then its version is read from its header and name,
// the newest is chosen, and the image loaded with a start and length the first
// bytes give.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "datasheet/hex_image.h"
#include "link/firmware_update.h"
#include "tests/fuzz/fuzz_scratch.h"

namespace {

std::string folder() { return trimwell::fuzz::scratchFolder(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::uint32_t start = (static_cast<std::uint32_t>(data[0]) << 12) | (static_cast<std::uint32_t>(data[1]) << 4);
  const std::uint32_t length = 1 + ((static_cast<std::uint32_t>(data[2]) << 10) | (static_cast<std::uint32_t>(data[3]) << 2));
  const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
  const char* const names[] = {"Dockmon.hex", "Dockmon_v0109.hex", "Dockmon.h03", "Dockmon.h04", "Dockmon.h05",
                               "Dockmon.h06"};
  for (const char* name : names) std::filesystem::remove(folder() + "/" + name);
  std::size_t from = 0;
  for (const char* name : names) {
    if (from > text.size()) break;
    const std::size_t end = std::min(text.find("\n=====\n", from), text.size());
    std::ofstream(folder() + "/" + name, std::ios::binary) << text.substr(from, end - from);
    from = end + 7;
  }
  const std::string path = folder() + "/Dockmon.hex";
  int major = 0, minor = 0;
  trimwell::firmwareFileVersion(path, major, minor);
  trimwell::HexImage image;
  image.loadImage(path, start, length);
  if (image.loadedLength > length) std::abort();
  return 0;
}
