// The bench's fault menu: it offers every request of the command set under the
// names the trainers know, and arms the fault for the request picked.
#include <QComboBox>
#include <QDockWidget>
#include <QPushButton>
#include <QSpinBox>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "link/requests.h"
#include "link/vendor_request.h"
#include "platform/memory_controls.h"
#include "sim/station/qt/simulator_window.h"
#include "sim/station/simulated_station.h"

namespace trimwell {
namespace {

class BenchFaults : public ::testing::TestWithParam<RequestInfo> {
 protected:
  BenchFaults() {
    paths.datasheetFolder = TRIMWELL_SAMPLE_DIR;
    shell = std::make_unique<sim::SimulatorShell>(registry, paths);
    shell->station().plugInterface(0x0002, 1, 8);
  }
  template <typename T>
  T* find(const char* name) {
    T* widget = shell->bench().findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  // One request of this code straight to the plugged interface; the error it
  // fails with, or 0.
  std::uint32_t send(int code) {
    VendorRequestBlock block;
    block.direction = VendorRequestBlock::kDeviceToHost;
    block.request = static_cast<std::uint8_t>(code);
    const auto bytes = block.toBytes();
    std::uint8_t answer[16] = {};
    std::size_t returned = 0;
    std::uint32_t error = 0;
    return shell->station().interface()->handle(kControlVendorRequest, bytes.data(), bytes.size(), answer,
                                                sizeof answer, returned, error) ? 0 : error;
  }

  MemoryRegistry registry;
  DialogPaths paths;
  std::unique_ptr<sim::SimulatorShell> shell;
};

// The menu as trainers have always seen it, in the command set's order.
TEST_F(BenchFaults, MenuNamesEveryRequest) {
  auto* menu = find<QComboBox>("faultRequest");
  ASSERT_NE(menu, nullptr);
  QStringList labels;
  for (int i = 0; i < menu->count(); ++i) labels << menu->itemText(i);
  EXPECT_EQ(labels, (QStringList{"0x01 read datasheet", "0x02 write datasheet", "0x21 read sample",
                                 "0x81 sample config", "0xA0 interface memory", "0xC3 calibration",
                                 "0xC6 sensor command", "0xF1 port status", "0xF2 version", "0xFA sensor power"}));
}

// Fail the next two: exactly two requests of the code picked fail as the fault
// fails them (EIO, which the interface gives for nothing else).
TEST_P(BenchFaults, FailArmsThePickedRequest) {
  const int code = GetParam().code;
  auto* menu = find<QComboBox>("faultRequest");
  auto* count = find<QSpinBox>("faultCount");
  auto* fail = find<QPushButton>("faultFail");
  ASSERT_TRUE(menu != nullptr && count != nullptr && fail != nullptr);
  ASSERT_NE(send(code), static_cast<std::uint32_t>(EIO));  // before: no fault
  const int index = menu->findData(code);
  ASSERT_GE(index, 0);
  menu->setCurrentIndex(index);
  count->setValue(2);
  fail->click();
  EXPECT_EQ(send(code), static_cast<std::uint32_t>(EIO));
  EXPECT_EQ(send(code), static_cast<std::uint32_t>(EIO));
  EXPECT_NE(send(code), static_cast<std::uint32_t>(EIO));
}

INSTANTIATE_TEST_SUITE_P(Requests, BenchFaults, ::testing::ValuesIn(requestTable().begin(), requestTable().end()),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           for (char& c : name) c = c == ' ' ? '_' : c;
                           return name;
                         });

}  // namespace
}  // namespace trimwell
