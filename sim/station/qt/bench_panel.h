#pragma once
// The bench of the simulated station: what a trainer does with the hardware.

#include <string>

class QWidget;

namespace trimwell::sim {

class SimulatedStation;

// It offers the datasheet files of the library folder as sensors. Its Plug and
// Unplug buttons are named plugInterface, unplugInterface, plugSensor and unplugSensor.
QWidget* makeBenchPanel(SimulatedStation& station, const std::string& library, QWidget* parent);

}  // namespace trimwell::sim
