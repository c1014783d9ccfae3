// The request table that the fault menu, the wireless interface and the driver's
// EEPROM timeout all read.
#include "link/requests.h"

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace trimwell {
namespace {

TEST(RequestTable, EachCodeAndNameOnce) {
  std::set<int> codes;
  std::set<std::string> names;
  for (const RequestInfo& r : requestTable()) {
    EXPECT_TRUE(codes.insert(r.code).second) << r.code;
    EXPECT_TRUE(names.insert(r.name).second) << r.name;
    EXPECT_STREQ(requestName(r.code), r.name);
  }
  EXPECT_EQ(codes.size(), 10u);
  EXPECT_EQ(requestName(0xC7), nullptr);  // a wireless line command, no request
  EXPECT_EQ(requestName(-1), nullptr);
}

// Only the two requests whose data the sensor keeps in its EEPROM, and only sent
// to the device: reading the calibration back writes nothing.
struct EepromCase {
  int code;
  bool hostToDevice;
  bool writes;
};

class EepromWrites : public ::testing::TestWithParam<EepromCase> {};

TEST_P(EepromWrites, AreTheDatasheetAndCalibrationWrites) {
  EXPECT_EQ(writesEeprom(GetParam().code, GetParam().hostToDevice), GetParam().writes);
}

INSTANTIATE_TEST_SUITE_P(Requests, EepromWrites,
                         ::testing::Values(EepromCase{kRequestWriteDatasheet, true, true},
                                           EepromCase{kRequestCalibration, true, true},
                                           EepromCase{kRequestCalibration, false, false},
                                           EepromCase{kRequestReadDatasheet, false, false},
                                           EepromCase{kRequestInterfaceMemory, true, false},
                                           EepromCase{kRequestSampleConfig, true, false},
                                           EepromCase{kBridgeCalibrationIn, true, false}),
                         [](const auto& info) {
                           return "code_" + std::to_string(info.param.code) +
                                  (info.param.hostToDevice ? "_to_device" : "_to_host");
                         });

}  // namespace
}  // namespace trimwell
