#include "sim/simulated_sensor.h"

#include <cmath>

#include <gtest/gtest.h>

#include "support/sim_fixture.h"

namespace trimwell {
namespace {

// The station's conversion of raw types 0, 1 and 2, written out from the format so
// that the simulated samples are checked against it rather than against themselves.
double convertRaw(int type, int size, const std::uint8_t* s) {
  const std::uint32_t u = s[0] | (size > 1 ? s[1] << 8 : 0) | (size > 2 ? s[2] << 16 | static_cast<std::uint32_t>(s[3]) << 24 : 0);
  if (type == 0) return static_cast<std::int32_t>(u) / 65536.0;
  if (type == 1) {
    const std::int32_t k = size == 1 ? static_cast<std::int32_t>(u << 21)
                           : size == 2 ? static_cast<std::int32_t>(u << 15)
                                       : static_cast<std::int32_t>(u);
    return k / 107374184.0;
  }
  return size == 4 ? static_cast<double>(static_cast<std::int32_t>(u)) : static_cast<double>(u);
}

struct SampleCase {
  int type;
  int size;
  double value;
  double resolution;
};

class RawSample : public ::testing::TestWithParam<SampleCase> {};

TEST_P(RawSample, ConvertsBackToTheValueSet) {
  const SampleCase& c = GetParam();
  std::uint8_t raw[4] = {};
  sim::encodeRawSample(c.type, c.size, c.value, raw);
  EXPECT_NEAR(convertRaw(c.type, c.type == 0 ? 4 : c.size, raw), c.value, c.resolution);
}

INSTANTIATE_TEST_SUITE_P(Types, RawSample,
                         ::testing::Values(SampleCase{0, 4, 25.5, 1.0 / 65536}, SampleCase{0, 4, -12.25, 1.0 / 65536},
                                           SampleCase{1, 2, 1.234, 32768.0 / 107374184},
                                           SampleCase{1, 1, 3.0, 2097152.0 / 107374184},
                                           SampleCase{1, 4, -7.5, 1.0 / 107374184}, SampleCase{2, 2, 700, 0.5},
                                           SampleCase{2, 1, 200, 0.5}, SampleCase{2, 4, -40000, 0.5}));

TEST(SimulatedSensor, PacksRawMeasurementsInDatasheetOrder) {
  auto sensor = sim::SimulatedSensor::fromFile(test::sampleImagePath("thermal_probe_221.sds"));
  ASSERT_NE(sensor, nullptr);
  sensor->setInput(1, 20.0);   // type 0, 4 bytes
  sensor->setInput(2, 1.5);    // type 1, 2 bytes
  std::uint8_t sample[6];
  std::size_t returned = 0;
  sensor->readSample(6, sample, sizeof sample, returned);
  ASSERT_EQ(returned, 6u);
  EXPECT_DOUBLE_EQ(convertRaw(0, 4, sample), 20.0);
  EXPECT_NEAR(convertRaw(1, 2, sample + 4), 1.5, 32768.0 / 107374184);
  sensor->readSample(2, sample, sizeof sample, returned);  // the interface's size rules
  EXPECT_EQ(returned, 2u);
}

TEST(SimulatedSensor, NoiseMovesTheSamples) {
  auto sensor = sim::SimulatedSensor::fromFile(test::sampleImagePath("thermal_probe_221.sds"));
  ASSERT_NE(sensor, nullptr);
  sensor->setInput(1, 20.0);
  sensor->setNoise(0.5);
  std::uint8_t a[4], b[4];
  std::size_t returned = 0;
  sensor->readSample(4, a, 4, returned);
  sensor->readSample(4, b, 4, returned);
  EXPECT_NE(convertRaw(0, 4, a), convertRaw(0, 4, b));
  EXPECT_NEAR(convertRaw(0, 4, a), 20.0, 5.0);
}

}  // namespace
}  // namespace trimwell
