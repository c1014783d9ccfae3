// One timer tick of the station with a sensor of six calibrated rows and Data
// Averaging on (16 sample reads), on the simulated driver.

#include <benchmark/benchmark.h>

#include "app/dialog_layout.h"
#include "app/control_ids.h"
#include "platform/memory_controls.h"
#include "sim/station/simulated_station.h"
#include "six_row_sensor.h"

namespace {

using namespace trimwell;


void BM_StationTickSixRowsAveraged(benchmark::State& state) {
  MemoryControls controls(dialogControls());
  MemoryRegistry settings;
  sim::SimulatedStation station(controls, settings);
  station.plugInterface(0x0002, 1, 8).keepLog = false;
  station.interface()->plugSensor(std::make_unique<sim::SimulatedSensor>(bench::sixRowImage()));
  station.tick();  // accepts the sensor (no file: one warning box)
  controls.click(ids::kDataAveraging);
  for (auto _ : state) station.tick();
  state.counters["rows"] = station.dialog().session().rowCount;
}
BENCHMARK(BM_StationTickSixRowsAveraged);

}  // namespace
