#include "sim/station/simulated_station.h"

#include "platform/pam_password.h"
#include "documents/laboratory.h"

namespace trimwell::sim {

SimulatedStation::SimulatedStation(WindowControls& controls, Registry& settings, DialogPaths paths,
                                   Registry* currentUser)
    : driverScope_(driver_),
      sleeperScope_(clock_),
      bridge_(serialPort_, currentUser != nullptr ? *currentUser : ownUser_),
      previousBridge_(installSerialBridge(&bridge_)),
      wirelessPort_(currentUser != nullptr ? *currentUser : ownUser_, bridge_),
      dialog_(std::make_unique<CalibrationDialog>(controls, settings, std::move(paths), &wirelessPort_)) {
  // For training and scripts: drafts, and every role the trainee's own.
  Laboratory::trainingDefaults(settings, primaryGroup());
  dialog_->OnInitDialog();
}

SimulatedStation::~SimulatedStation() {
  dialog_->OnDestroy();
  dialog_.reset();  // the scanner's interfaces close before the driver and the bridge go
  bridge_.disconnect();
  installSerialBridge(previousBridge_);
}

bool SimulatedStation::switchWirelessOn(std::uint8_t interfaceVersion) {
  switchWirelessOff();
  wireless_ = std::make_unique<WirelessInterface>(interfaceVersion);
  if (!wireless_->started()) {
    wireless_.reset();
    return false;
  }
  wirelessPort_.extraPorts = {wireless_->portPath()};
  if (driver_.at(0) == nullptr && waitingSensor_) wireless_->plugSensor(std::move(waitingSensor_));
  return true;
}

void SimulatedStation::switchWirelessOff() {
  if (!wireless_) return;
  if (auto sensor = wireless_->unplugSensor()) waitingSensor_ = std::move(sensor);
  wireless_.reset();
  wirelessPort_.extraPorts.clear();
}

void SimulatedStation::withSensor(const std::function<void(SimulatedSensor*)>& fn) {
  if (driver_.at(0) == nullptr && wireless_ && !waitingSensor_) {
    wireless_->withSensor(fn);
    return;
  }
  fn(sensor());
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
  } else if (wireless_) {
    wireless_->plugSensor(std::move(sensor));
  } else {
    waitingSensor_ = std::move(sensor);
  }
  return true;
}

void SimulatedStation::unplugSensor() {
  if (SimulatedInterface* interface = driver_.at(0)) interface->unplugSensor();
  if (wireless_) wireless_->unplugSensor();
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
