// The real window, drawn off screen: from making it to the end of its first tick
// (goal: under 300 ms), and one tick with six rows live and their trend plots
// painted (goal: under 1 ms of user-interface thread time).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <memory>

#include "app/qt/station_window.h"
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

struct Station {
  MemoryRegistry registry;
  std::unique_ptr<sim::SimulatedStation> station;
  std::unique_ptr<StationWindow> window;

  Station() {
    window = std::make_unique<StationWindow>([this](WindowControls& controls) -> CalibrationDialog& {
      station = std::make_unique<sim::SimulatedStation>(controls, registry);
      return station->dialog();
    });
    window->stopTimer();
    // The six-row sensor has no file in the library: its warning is answered at once.
    window->controls().boxOpened = [](QMessageBox& box) { box.done(QMessageBox::Ok); };
    window->onTick = [this] { station->tick(); };
    window->show();
  }
  ~Station() {
    station.reset();
    window.reset();
  }
};

void BM_WindowStartToFirstTick(benchmark::State& state) {
  for (auto _ : state) {
    Station s;
    s.window->runTick();
    QApplication::processEvents();
    state.PauseTiming();
    s.station.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WindowStartToFirstTick)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TickWithSixRowsPlotting(benchmark::State& state) {
  Station s;
  s.station->plugInterface(0x0002, 1, 8).plugSensor(std::make_unique<sim::SimulatedSensor>(sixRowImage()));
  for (int i = 0; i < 130; ++i) s.window->runTick();  // a full minute of trend
  s.station->sensor()->setNoise(state.range(0) / 10.0);
  QApplication::processEvents();
  for (auto _ : state) {
    s.window->runTick();
    QApplication::processEvents();  // the paint of what changed, as the event loop does it
  }
}
// CPU time (the station runs its ticks and paints on this one thread). Argument:
// the sensor's noise in tenths: with 0 the texts stay and only the plots repaint;
// with 5 every reading's box repaints too.
BENCHMARK(BM_TickWithSixRowsPlotting)->Arg(0)->Arg(5)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
