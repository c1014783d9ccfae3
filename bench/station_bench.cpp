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


// The station with the six-row sensor taken up and Data Averaging on.
struct SixRowStation {
  SixRowStation() {
    station.plugInterface(0x0002, 1, 8).keepLog = false;
    station.interface()->plugSensor(std::make_unique<sim::SimulatedSensor>(bench::sixRowImage()));
    station.tick();  // accepts the sensor (no file: one warning box)
    controls.click(ids::kDataAveraging);
  }
  MemoryControls controls{dialogControls()};
  MemoryRegistry settings;
  sim::SimulatedStation station{controls, settings};
};

void BM_StationTickSixRowsAveraged(benchmark::State& state) {
  SixRowStation six;
  sim::SimulatedStation& station = six.station;
  for (auto _ : state) station.tick();
  state.counters["rows"] = station.dialog().session().rowCount;
}
BENCHMARK(BM_StationTickSixRowsAveraged);

// The same tick with the bench's reference instrument polled on its own thread
// every 10 ms, its news taken each tick: the tick's own time stays as above.
void BM_StationTickWithReferencePolled(benchmark::State& state) {
  SixRowStation six;
  sim::SimulatedStation& station = six.station;
  ReferenceSettings reference;
  reference.line.location = station.referenceInstrument().switchOn() ? station.referenceInstrument().address() : "";
  reference.periodMs = 10;
  std::string problem;
  if (!station.dialog().chooseReference(reference, problem) ||
      !station.dialog().reference().poller().awaitPolls(2, std::chrono::seconds(5))) {
    state.SkipWithError(("no reference instrument: " + problem).c_str());
    return;
  }
  for (int row = 0; row < 6; ++row) station.dialog().reference().setFromInstrument(row, true);
  for (auto _ : state) station.tick();
  state.counters["polls"] = static_cast<double>(station.dialog().reference().poller().snapshot().polls);
}
BENCHMARK(BM_StationTickWithReferencePolled)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace
