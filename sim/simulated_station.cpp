#include "sim/simulated_station.h"

namespace trimwell::sim {

SimulatedStation::SimulatedStation(WindowControls& controls, Registry& settings, DialogPaths paths)
    : driverScope_(driver_), sleeperScope_(clock_),
      dialog_(std::make_unique<CalibrationDialog>(controls, settings, std::move(paths))) {
  dialog_->OnInitDialog();
}

SimulatedStation::~SimulatedStation() {
  dialog_->OnDestroy();
  dialog_.reset();  // the scanner's interfaces close before the driver goes
}

SimulatedInterface& SimulatedStation::plugInterface(std::uint16_t product, int major, int minor) {
  SimulatedInterface& interface =
      driver_.plug(0, std::make_unique<SimulatedInterface>(0x7A3C, product, major, minor));
  if (waitingSensor_) interface.plugSensor(std::move(waitingSensor_));
  return interface;
}

void SimulatedStation::unplugInterface() {
  if (SimulatedInterface* interface = driver_.at(0)) waitingSensor_ = interface->unplugSensor();
  driver_.unplug(0);
}

bool SimulatedStation::plugSensor(const std::string& datasheetFile) {
  auto sensor = SimulatedSensor::fromFile(datasheetFile);
  if (!sensor) return false;
  if (SimulatedInterface* interface = driver_.at(0)) {
    interface->plugSensor(std::move(sensor));
  } else {
    waitingSensor_ = std::move(sensor);
  }
  return true;
}

void SimulatedStation::unplugSensor() {
  if (SimulatedInterface* interface = driver_.at(0)) interface->unplugSensor();
  waitingSensor_.reset();
}

SimulatedSensor* SimulatedStation::sensor() const {
  if (SimulatedInterface* interface = driver_.at(0)) return interface->sensor();
  return waitingSensor_.get();
}

void SimulatedStation::tick() {
  dialog_->OnTimer();
  clock_.now += CalibrationDialog::kTimerPeriodMs;
}

}  // namespace trimwell::sim
