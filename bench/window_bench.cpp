// The real window, drawn off screen: from making it to the end of its first tick
// (goal: under 300 ms), and one tick with six rows live and their trend plots
// painted (goal: under 1 ms of user-interface thread time).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QMessageBox>
#include <chrono>
#include <memory>

#include "app/qt/station_window.h"
#include "app/control_ids.h"
#include "platform/memory_controls.h"
#include "sim/station/simulated_station.h"
#include "six_row_sensor.h"

namespace {

using namespace trimwell;


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
  s.station->plugInterface(0x0002, 1, 8).plugSensor(std::make_unique<sim::SimulatedSensor>(bench::sixRowImage()));
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
