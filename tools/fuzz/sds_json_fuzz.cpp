// libFuzzer target: the datasheet tool's JSON input, parsed (without exceptions
// leaving it) and made into a datasheet, which is then encoded as an image.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "datasheet/datasheet.h"
#include "tools/sds_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nlohmann::json source = nlohmann::json::parse(data, data + size, nullptr, false);
  if (source.is_discarded()) return 0;
  trimwell::Datasheet datasheet;
  std::string error;
  if (!trimwell::datasheetFromJson(source, datasheet, error)) return 0;
  (void)trimwell::datasheetToJson(datasheet);
  std::uint8_t image[4096];
  std::size_t length = 0;
  datasheet.encode(image, sizeof image, &length);
  return 0;
}
