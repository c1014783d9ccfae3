// The USB driver layer's device paths: "\\.\qzusb-" and the interface number in
// decimal, as the interface's driver names its devices.
#include "link/device_link.h"
#include "platform/format_text.h"
#include "platform/usb_driver.h"

#include <gtest/gtest.h>

namespace trimwell {
namespace {

TEST(DevicePath, PrefixAndDecimalNumber) {
  EXPECT_EQ(devicePath(3), "\\\\.\\qzusb-3");
  EXPECT_EQ(interfaceNumberFromPath(devicePath(8)), 8);
  EXPECT_EQ(interfaceNumberFromPath("/dev/ttyUSB0"), -1);
  EXPECT_EQ(interfaceNumberFromPath("\\\\.\\qzusb-x"), -1);
}

}  // namespace
}  // namespace trimwell

namespace trimwell {
namespace {

// Numbers on screen: fixed decimals, no e-notation, no negative zero.
struct FixedCase {
  double value;
  int decimals;
  bool sign;
  const char* shown;
};

class FixedNumber : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedNumber, ShowsTheDecimalsAskedWithoutNegativeZero) {
  EXPECT_EQ(fixedNumber(GetParam().value, GetParam().decimals, GetParam().sign), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Numbers, FixedNumber,
                         ::testing::Values(FixedCase{-0.0, 4, false, "0.0000"}, FixedCase{-0.00004, 4, false, "0.0000"},
                                           FixedCase{-0.00004, 4, true, "0.0000"}, FixedCase{0.0, 4, true, "0.0000"},
                                           FixedCase{6.104e-05, 4, true, "+0.0001"},
                                           FixedCase{-1.0, 4, true, "-1.0000"}, FixedCase{-20.0, 4, false, "-20.0000"},
                                           FixedCase{1e21, 1, false, "1000000000000000000000.0"}));

// For a person to read or compare: six significant digits, or every digit the
// record keeps, and neither in e-notation nor as "-0".
struct ReadableCase {
  std::string (*shown)(double);
  double value;
  const char* text;
};

class ReadableNumber : public ::testing::TestWithParam<ReadableCase> {};

TEST_P(ReadableNumber, IsFixedNotation) { EXPECT_EQ(GetParam().shown(GetParam().value), GetParam().text); }

std::string sixDigits(double value) { return readableNumber(value); }

INSTANTIATE_TEST_SUITE_P(
    Numbers, ReadableNumber,
    ::testing::Values(ReadableCase{sixDigits, 6.103515625e-05, "0.0000610352"},
                      ReadableCase{sixDigits, -6.103515625e-05, "-0.0000610352"}, ReadableCase{sixDigits, 1234.5678, "1234.57"},
                      ReadableCase{sixDigits, 20.0, "20"}, ReadableCase{sixDigits, -0.0, "0"},
                      ReadableCase{sixDigits, 123456789.0, "123456789"}, ReadableCase{sixDigits, 4e-15, "0"},
                      ReadableCase{sixDigits, -4e-15, "0"},
                      ReadableCase{exactFixedNumber, 6.103515625e-05, "0.00006103515625"},
                      ReadableCase{exactFixedNumber, 0.030000000000001137, "0.030000000000001137"},
                      ReadableCase{exactFixedNumber, -0.0, "0"}, ReadableCase{exactFixedNumber, 25.0, "25"},
                      ReadableCase{exactFixedNumber, 1e300, "1e+300"}));

}  // namespace
}  // namespace trimwell
