// The station's own cost per request on the simulated driver: a firmware download of
// the largest image and one sample read.

#include <benchmark/benchmark.h>

#include <memory>

#include "link/firmware_update.h"
#include "link/scpi_client.h"
#include "sim/reference_instrument.h"
#include "sim/simulated_driver.h"

namespace {

using namespace trimwell;

struct SimulatedStation {
  SimulatedStation() : scope(driver) {
    interface = &driver.plug(0);
    interface->keepLog = false;
    std::vector<std::uint8_t> image(64, 0);
    image[0] = 221;
    interface->plugSensor(std::make_unique<sim::SimulatedSensor>(image));
    link.open(0);
  }
  sim::SimulatedDriver driver;
  UsbDriverScope scope;
  sim::SimulatedInterface* interface = nullptr;
  DeviceLink link;
};

void BM_FirmwareDownload8192(benchmark::State& state) {
  SimulatedStation station;
  FirmwareImage image;
  image.link = &station.link;
  image.buffer.assign(kMaxFirmwareLength + 256, 0x5A);
  image.loadedLength = kMaxFirmwareLength;
  for (auto _ : state) benchmark::DoNotOptimize(image.download());
  state.counters["requests"] = 11;  // hold, 9 chunks, release
  state.SetItemsProcessed(state.iterations() * 11);
}
BENCHMARK(BM_FirmwareDownload8192);

void BM_ReadSample(benchmark::State& state) {
  SimulatedStation station;
  std::uint8_t sample[2];
  std::size_t returned = 0;
  for (auto _ : state) benchmark::DoNotOptimize(station.link.readSample(0, sample, sizeof sample, &returned));
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ReadSample);

// One reading of the bench's reference instrument over its pseudo-terminal: the
// query, its answer, SYST:ERR? and its answer (goal: under 5 ms a round trip).
void BM_ReferenceReadingOverPty(benchmark::State& state) {
  sim::ReferenceInstrument meter;
  InstrumentLine line;
  InstrumentLineSettings settings;
  settings.location = meter.switchOn() ? meter.portPath() : "";
  if (!line.open(settings, 1000)) {
    state.SkipWithError(("no pseudo-terminal: " + line.problem()).c_str());
    return;
  }
  ScpiClient client(line, 1000);
  InstrumentIdentity identity;
  std::string problem;
  client.identify(identity, problem);
  double value = 0.0;
  for (auto _ : state) {
    if (client.read("READ?", 1.0, value, problem) != ReadingFault::None) state.SkipWithError(problem.c_str());
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(BM_ReferenceReadingOverPty)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
