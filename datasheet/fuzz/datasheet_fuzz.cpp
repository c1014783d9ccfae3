// libFuzzer target: any bytes as a datasheet image. Whatever decodes must encode
// and decode again.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "datasheet/datasheet.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  trimwell::Datasheet d;
  if (!d.decode(data, size)) return 0;
  std::vector<std::uint8_t> image(trimwell::kMaxImageLength * 2);
  std::size_t length = 0;
  if (!d.encode(image.data(), image.size(), &length)) return 0;
  trimwell::Datasheet again;
  if (!again.decode(image.data(), length)) std::abort();
  return 0;
}
