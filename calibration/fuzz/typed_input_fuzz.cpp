// libFuzzer target: what an operator types: a number into a point's field (in
// either decimal form, fixed-point or not) and a list of measurement IDs.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "calibration/typed_value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (bool fixedPoint : {false, true}) {
    double value = 0.0;
    trimwell::TypedRefusal refusal{};
    // A number taken is one the sensor's block can hold: finite.
    if (trimwell::parseTypedNumber(text, fixedPoint, value, &refusal) && !std::isfinite(value)) std::abort();
    (void)trimwell::refusalText(refusal);
  }
  std::vector<int> ids;
  std::string refused;
  if (!trimwell::readMeasurementIds(text, ids, refused)) (void)trimwell::measurementIdsRefusal(refused);
  return 0;
}
