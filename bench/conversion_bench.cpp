// One sample block of a 32-measurement sheet (half raw, half derived in chains of
// three), and one steady-state scan of a present interface with a known sensor.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/sensor_scanner.h"
#include "calibration/converter_set.h"
#include "sim/simulated_driver.h"

namespace {

using namespace trimwell;

void addMeasurement(Datasheet& d, int id, int type, int input, int operation, int size) {
  Measurement& m = d.addMeasurement();
  m.id = static_cast<std::uint16_t>(id);
  m.conversionType = static_cast<std::uint8_t>(type);
  m.type.sampleSize = size;
  m.type.operation = operation;
  if (input != 0) {
    m.type.inputCount = 1;
    m.type.inputIds[0] = input;
  }
  m.type.constantCount = 4;
  m.type.constants = {0, 1, 100, 3};
}

void BM_ProcessSampleBlock32(benchmark::State& state) {
  Datasheet d;
  for (int i = 0; i < 16; ++i) addMeasurement(d, i + 1, kRawScaled, 0, 0, 2);
  // Chains of three derived measurements, listed last link first.
  for (int chain = 0; chain < 5; ++chain) {
    const int base = 100 + chain * 3;
    addMeasurement(d, base + 2, kOperation, base + 1, 7, 0);
    addMeasurement(d, base + 1, kCalibrated, base, 0, 0);
    addMeasurement(d, base, kOperation, chain + 1, 4, 0);
  }
  addMeasurement(d, 200, kCalibrated, 16, 0, 0);
  ConverterSet set;
  set.Build(&d);
  std::uint8_t block[32];
  for (int i = 0; i < 32; ++i) block[i] = static_cast<std::uint8_t>(i * 13);
  for (auto _ : state) benchmark::DoNotOptimize(set.ProcessSampleBlock(block, sizeof block, 0.0));
}
BENCHMARK(BM_ProcessSampleBlock32);

void BM_SteadyStateScan(benchmark::State& state) {
  sim::SimulatedDriver driver;
  UsbDriverScope scope(driver);
  sim::SimulatedInterface& interface = driver.plug(0);
  interface.keepLog = false;
  std::vector<std::uint8_t> image(83, 0);
  Datasheet d;
  d.sensorId = 221;
  d.lengthLimit = 2048;
  d.encode(image.data(), image.size());
  interface.plugSensor(std::make_unique<sim::SimulatedSensor>(image));
  SensorScanner scanner(1);
  scanner.Scan(nullptr, 2);  // arrival, with its real 100 ms pause before the ID read
  for (auto _ : state) benchmark::DoNotOptimize(scanner.Scan(nullptr, 2));
}
BENCHMARK(BM_SteadyStateScan);

}  // namespace
