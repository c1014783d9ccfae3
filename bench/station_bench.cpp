// One timer tick of the station with a sensor of six calibrated rows and Data
// Averaging on (16 sample reads), on the simulated driver.

#include <benchmark/benchmark.h>

#include "app/dialog_layout.h"
#include "calibration/control_ids.h"
#include "platform/memory_controls.h"
#include "sim/simulated_station.h"

namespace {

using namespace trimwell;

std::vector<std::uint8_t> sixRowImage() {
  Datasheet d;
  d.sensorId = 400;
  d.lengthLimit = 2048;
  d.versionText = {'1', '.', '0', '0'};
  for (int i = 0; i < 6; ++i) {
    Measurement& raw = d.addMeasurement();
    raw.id = static_cast<std::uint16_t>(i + 1);
    raw.type.sampleSize = 4;
  }
  for (int i = 0; i < 6; ++i) {
    Measurement& line = d.addMeasurement();
    line.id = static_cast<std::uint16_t>(10 + i);
    line.conversionType = kCalibrated;
    line.type.inputCount = 1;
    line.type.inputIds[0] = i + 1;
    line.type.constants = {0, 0, 100, 50};
    line.primaryText.text = u"Channel";
    line.secondaryText.text = u"mV";
  }
  std::vector<std::uint8_t> image(kMaxImageLength);
  std::size_t length = 0;
  d.encode(image.data(), image.size(), &length);
  image.resize(length);
  return image;
}

void BM_StationTickSixRowsAveraged(benchmark::State& state) {
  MemoryControls controls(dialogControls());
  MemoryRegistry settings;
  sim::SimulatedStation station(controls, settings);
  station.plugInterface(0x0002, 1, 8).keepLog = false;
  station.interface()->plugSensor(std::make_unique<sim::SimulatedSensor>(sixRowImage()));
  station.tick();  // accepts the sensor (no file: one warning box)
  controls.click(ids::kDataAveraging);
  for (auto _ : state) station.tick();
  state.counters["rows"] = station.dialog().session().rowCount;
}
BENCHMARK(BM_StationTickSixRowsAveraged);

}  // namespace
