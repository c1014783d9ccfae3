#pragma once
// A simulated interface 0 with a sample sensor, installed as the USB driver, and a
// sleeper that records the waits instead of sleeping.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "link/device_link.h"
#include "platform/sleeper.h"
#include "sim/simulated_driver.h"

namespace trimwell::test {

inline std::string sampleImagePath(const char* name) { return std::string(TRIMWELL_SAMPLE_DIR "/") + name; }

class SimFixture : public ::testing::Test {
 protected:
  SimFixture() : driverScope_(driver), sleeperScope_(sleeps) {}

  sim::SimulatedInterface& plugInterface(int n = 0, std::uint16_t product = 0x0002, int major = 1, int minor = 8) {
    return driver.plug(n, std::make_unique<sim::SimulatedInterface>(0x7A3C, product, major, minor));
  }
  sim::SimulatedSensor& plugSensor(sim::SimulatedInterface& interface,
                                   const char* image = "thermal_probe_221.sds") {
    auto sensor = sim::SimulatedSensor::fromFile(sampleImagePath(image));
    EXPECT_NE(sensor, nullptr) << image;
    interface.plugSensor(std::move(sensor));
    return *interface.sensor();
  }

  sim::SimulatedDriver driver;
  RecordingSleeper sleeps;

 private:
  UsbDriverScope driverScope_;
  SleeperScope sleeperScope_;
};

}  // namespace trimwell::test
