#include "link/sensor_interface.h"

#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/sim_fixture.h"

namespace trimwell {
namespace {

TEST(ManualResetEvent, StaysSignalledUntilReset) {
  ManualResetEvent event;
  EXPECT_FALSE(event.wait(std::chrono::milliseconds(0)));
  event.set();
  EXPECT_TRUE(event.wait(std::chrono::milliseconds(0)));
  EXPECT_TRUE(event.wait(std::chrono::milliseconds(0)));
  event.reset();
  EXPECT_FALSE(event.wait(std::chrono::milliseconds(0)));
}

TEST(ManualResetEvent, WakesAWaiterOnAnotherThread) {
  ManualResetEvent event;
  bool woke = false;
  std::thread waiter([&] { woke = event.wait(std::chrono::minutes(1)); });
  event.set();
  waiter.join();
  EXPECT_TRUE(woke);
}

// Each destruction wakes its worker at once; were it to wait out the worker's 5 s
// period, this test would run into the suite's time limit.
TEST(SensorInterface, ManyInterfacesComeAndGo) {
  for (int round = 0; round < 50; ++round) {
    SensorInterface interface;
    EXPECT_TRUE(interface.workerRunning());
  }
  std::vector<std::unique_ptr<SensorInterface>> many;
  for (int i = 0; i < 20; ++i) many.push_back(std::make_unique<SensorInterface>());
  many.clear();
}

TEST(SensorInterface, WithoutWorkerNoThreadStarts) {
  SensorInterface interface(false);
  EXPECT_FALSE(interface.workerRunning());
}

using SensorInterfaceLink = test::SimFixture;

TEST_F(SensorInterfaceLink, DestructionClosesTheDevice) {
  plugInterface(0);
  {
    SensorInterface interface;
    ASSERT_TRUE(interface.open(0));
    EXPECT_EQ(driver.openHandles(), 1u);
  }
  EXPECT_EQ(driver.openHandles(), 0u);
}

}  // namespace
}  // namespace trimwell
