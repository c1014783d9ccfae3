#pragma once
// The simulated station's window: the real station window, with the bench docked
// beside it; on a screen too small for both the station's content scrolls.

#include <QMainWindow>
#include <memory>
#include <string>

#include "app/calibration_dialog.h"

class QDockWidget;

namespace trimwell {
class StationWindow;
}

namespace trimwell::sim {

class SimulatedStation;

class SimulatorShell final : public QMainWindow {
 public:
  SimulatorShell(Registry& settings, const DialogPaths& paths, QWidget* parent = nullptr);
  ~SimulatorShell() override;
  SimulatorShell(const SimulatorShell&) = delete;
  SimulatorShell& operator=(const SimulatorShell&) = delete;

  StationWindow& stationWindow() { return *window_; }
  SimulatedStation& station() { return *station_; }
  QDockWidget& bench() { return *bench_; }
  // Sizes the window to show the station and the bench whole as far as the screen
  // area given allows, at its top left.
  void fitInto(const QRect& available);

 protected:
  // The station's own close asks first when points taken would be lost; the shell
  // closes only when the station does.
  void closeEvent(QCloseEvent* event) override;

 private:
  std::unique_ptr<SimulatedStation> station_;
  StationWindow* window_ = nullptr;
  QDockWidget* bench_ = nullptr;
};

}  // namespace trimwell::sim

// The program's window, or its screenshots (screenshots: a folder) taken off screen.
// `given` holds the library, firmware and records named on the command line; what
// it leaves empty is the station folder's and the settings folder's.
int runSimulatorWindow(int argc, char** argv, const std::string& settingsFolder, const std::string& screenshots,
                       const trimwell::DialogPaths& given);
