#include "calibration/converter_set.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include <gtest/gtest.h>

#include "support/allocation_counter.h"
#include "support/sheet_builder.h"

namespace trimwell {
namespace {

using test::addDerived;
using test::addRaw;
using Bytes = std::vector<std::uint8_t>;

struct RawCase {
  const char* name;
  int type;
  int size;
  Bytes sample;
  double expected;
};

class RawConversion : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawConversion, GivesTheValue) {
  const RawCase& c = GetParam();
  Datasheet d;
  addRaw(d, 1, c.type, c.size);
  ConverterSet set;
  set.Build(&d);
  set.ProcessSampleBlock(c.sample.data(), c.sample.size(), 0.0);
  EXPECT_FLOAT_EQ(set.converters[0]->value, static_cast<float>(c.expected));
  EXPECT_TRUE(set.converters[0]->valid);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, RawConversion,
    ::testing::Values(RawCase{"long_one", 0, 4, {0, 0, 1, 0}, 1.0},
                      RawCase{"long_minus_one", 0, 4, {0, 0, 0xFF, 0xFF}, -1.0},
                      RawCase{"scaled_byte", 1, 1, {0xFF}, 255.0 * 2097152 / 107374184},
                      RawCase{"scaled_word", 1, 2, {0xFF, 0xFF}, 65535.0 * 32768 / 107374184},
                      RawCase{"scaled_long", 1, 4, {0xFF, 0xFF, 0xFF, 0x7F}, 2147483647.0 / 107374184},
                      RawCase{"scaled_byte_high_bit_positive", 1, 1, {0x80}, 128.0 * 2097152 / 107374184},
                      RawCase{"scaled_odd_size", 1, 3, {1, 2, 3}, 0.0},
                      RawCase{"plain_word", 2, 2, {0xFF, 0xFF}, 65535.0},
                      RawCase{"plain_long", 2, 4, {0xFF, 0xFF, 0xFF, 0xFF}, -1.0},
                      RawCase{"plain_byte", 2, 1, {200}, 200.0}),
    [](const auto& info) { return std::string(info.param.name); });

// A raw measurement (ID 1, type 2, 2 bytes) feeding one derived measurement.
struct DerivedCase {
  const char* name;
  int type;
  int operation;
  std::vector<double> constants;
  double input;
  double expected;
};

class DerivedConversion : public ::testing::TestWithParam<DerivedCase> {};

TEST_P(DerivedConversion, GivesTheValue) {
  const DerivedCase& c = GetParam();
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  Measurement& m = addDerived(d, 2, c.type, {1}, c.operation, {});
  for (double k : c.constants) m.type.constants[static_cast<std::size_t>(m.type.constantCount++)] = k;
  ConverterSet set;
  set.Build(&d);
  const auto raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(c.input * 65536));
  const Bytes block = {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
                       static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
  set.ProcessSampleBlock(block.data(), block.size(), 0.0);
  ASSERT_TRUE(set.converters[1]->computed);
  EXPECT_FLOAT_EQ(set.converters[1]->value, static_cast<float>(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Values, DerivedConversion,
    ::testing::Values(DerivedCase{"line", 3, 0, {0, 0, 10, 20}, 5, 10},
                      DerivedCase{"flat_line", 3, 0, {1, 2, 3, 2}, 7, 2},
                      DerivedCase{"line_option_type", 7, 0, {0, 10, 100, 110}, 50, 60},
                      DerivedCase{"scale_micro", 4, 3, {4}, 1000, 1000 * 4 * 0.0000005},
                      DerivedCase{"ratio", 4, 4, {6, 3}, 5, 10},
                      DerivedCase{"log_at_100", 4, 6, {}, 100, 0},
                      DerivedCase{"log_above_100", 4, 6, {}, 150, 0},
                      DerivedCase{"log_at_10", 4, 6, {}, 10, 1},
                      DerivedCase{"log_below_floor", 4, 6, {}, 0.01, 2.99999999353},
                      DerivedCase{"linear", 4, 7, {2, 1}, 3, 7},
                      DerivedCase{"unknown_operation", 4, 1, {9}, 3, 3},
                      DerivedCase{"pairs_pass_through", 5, 0, {0, 0, 1, 1}, 4.5, 4.5}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Conversion, DivisionByZeroFollowsIeee) {
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  addDerived(d, 2, kCalibrated, {1}, 0, {5, 0, 5, 10});  // equal raw points
  addDerived(d, 3, kOperation, {1}, 4, {1, 0});          // ratio over zero
  ConverterSet set;
  set.Build(&d);
  const Bytes one = {0, 0, 1, 0};
  set.ProcessSampleBlock(one.data(), one.size(), 0.0);
  EXPECT_TRUE(std::isnan(set.converters[1]->value) || std::isinf(set.converters[1]->value));
  EXPECT_TRUE(std::isinf(set.converters[2]->value));
}

TEST(Conversion, SignedProductFlipsOnlyWithC4) {
  for (double c4 : {0.0, 1.0}) {
    Datasheet d;
    addRaw(d, 1, kRawLong, 4);
    addRaw(d, 2, kRawLong, 4);
    addDerived(d, 3, kMultiInput, {1, 2}, 8, {1, 0, 0, c4});
    ConverterSet set;
    set.Build(&d);
    // v = 2, w1 = -3: 2 * (1 * -3 + 0) + 0 = -6
    const Bytes block = {0, 0, 2, 0, 0, 0, 0xFD, 0xFF};
    set.ProcessSampleBlock(block.data(), block.size(), 0.0);
    EXPECT_FLOAT_EQ(set.converters[2]->value, c4 == 0.0 ? -6.0f : 6.0f);
  }
}

TEST(Conversion, SquareRootsOverTwoAndThreeInputs) {
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  addRaw(d, 2, kRawLong, 4);
  addRaw(d, 3, kRawLong, 4);
  addDerived(d, 4, kMultiInput, {1, 2}, 9, {});
  addDerived(d, 5, kMultiInput, {1, 2, 3}, 10, {});
  ConverterSet set;
  set.Build(&d);
  const Bytes block = {0, 0, 3, 0, 0, 0, 4, 0, 0, 0, 12, 0};
  set.ProcessSampleBlock(block.data(), block.size(), 0.0);
  EXPECT_FLOAT_EQ(set.converters[3]->value, 5.0f);
  EXPECT_FLOAT_EQ(set.converters[4]->value, 13.0f);
}

TEST(Conversion, DifferenceQuotientFirstBlockIsNotValid) {
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  addDerived(d, 2, kOperation, {1}, 5, {});
  ConverterSet set;
  set.Build(&d);
  const Bytes first = {0, 0, 1, 0};
  set.ProcessSampleBlock(first.data(), first.size(), 1.0);
  EXPECT_FALSE(set.converters[1]->valid);
  EXPECT_EQ(set.converters[1]->sampleCount, 0);
  const Bytes second = {0, 0, 5, 0};
  set.ProcessSampleBlock(second.data(), second.size(), 3.0);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 2.0f);  // (5 - 1) / (3 - 1)
  EXPECT_FLOAT_EQ(set.converters[1]->time, 2.0f);   // the midpoint
  EXPECT_EQ(set.converters[1]->sampleCount, 1);
}

// Averaged reads within one tick share its time stamp: the rate stays the last
// one known rather than a division by zero, and the next tick's is exact again.
TEST(Conversion, DifferenceQuotientOfBlocksWithNoTimeBetweenKeepsTheLastRate) {
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  addDerived(d, 2, kOperation, {1}, 5, {});
  ConverterSet set;
  set.Build(&d);
  const Bytes one = {0, 0, 1, 0};
  const Bytes five = {0, 0, 5, 0};
  const Bytes nine = {0, 0, 9, 0};
  set.ProcessSampleBlock(one.data(), 4, 0.0);
  set.ProcessSampleBlock(one.data(), 4, 0.0);  // no quotient known yet
  EXPECT_FALSE(set.converters[1]->valid);
  set.ProcessSampleBlock(five.data(), 4, 0.5);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 8.0f);
  set.ProcessSampleBlock(nine.data(), 4, 0.5);
  EXPECT_TRUE(std::isfinite(set.converters[1]->value));
  EXPECT_FLOAT_EQ(set.converters[1]->value, 8.0f);
  set.ProcessSampleBlock(nine.data(), 4, 1.0);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 8.0f);  // (9 - 5) / (1.0 - 0.5)
}

TEST(Conversion, RateAccumulation) {
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  addDerived(d, 2, kOperation, {1}, 2, {2.0, 10.0});
  ConverterSet set;
  set.Build(&d);
  set.converters[1]->rateScale = 1.0;
  const Bytes four = {0, 0, 4, 0};
  set.ProcessSampleBlock(four.data(), 4, 0.0);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 0.0f);  // first point primes
  set.ProcessSampleBlock(four.data(), 4, 1.0);      // 1 s accumulated, below c1
  EXPECT_FALSE(set.converters[1]->valid);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 4.0f);
  set.ProcessSampleBlock(four.data(), 4, 2.0);      // 2 s: rate (0.25 + 0.25) / 2 * 10
  EXPECT_TRUE(set.converters[1]->valid);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 2.5f);
}

TEST(Conversion, MicroScaleShiftsTheTimeStamp) {
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  addDerived(d, 2, kOperation, {1}, 3, {1});
  ConverterSet set;
  set.Build(&d);
  const Bytes block = {0, 0, 0, 1};  // 256
  set.ProcessSampleBlock(block.data(), block.size(), 0.0);
  EXPECT_FLOAT_EQ(set.converters[1]->time, 256 * 0.0000005f);
}

TEST(Conversion, BlockConsumedInDatasheetOrderWhateverTheIds) {
  Datasheet d;
  addRaw(d, 9, kRawPlain, 2);
  addRaw(d, 3, kRawPlain, 4);
  d.measurement(0)->id = 2;  // keep table order: ID 2 (2 bytes) then ID 3 (4 bytes)
  ConverterSet set;
  set.Build(&d);
  const Bytes block = {7, 0, 9, 0, 0, 0};
  set.ProcessSampleBlock(block.data(), block.size(), 0.0);
  EXPECT_FLOAT_EQ(set.converters[0]->value, 7.0f);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 9.0f);
}

TEST(Conversion, ChainsListedBeforeTheirInputs) {
  Datasheet d;
  addDerived(d, 1, kOperation, {2}, 7, {2, 0});   // 2 * (value of 2)
  addDerived(d, 2, kOperation, {3}, 7, {1, 1});   // (value of 3) + 1
  addRaw(d, 3, kRawPlain, 1);
  ConverterSet set;
  set.Build(&d);
  const Bytes block = {4};
  set.ProcessSampleBlock(block.data(), block.size(), 0.0);
  EXPECT_FLOAT_EQ(set.converters[1]->value, 5.0f);
  EXPECT_FLOAT_EQ(set.converters[0]->value, 10.0f);
}

TEST(Conversion, UnmatchedInputOrRawTypeWithInputsIsNeverConverted) {
  Datasheet d;
  addRaw(d, 1, kRawPlain, 1);
  addDerived(d, 2, kOperation, {77}, 7, {1, 1});    // no measurement 77
  addDerived(d, 3, kRawPlain, {1}, 0, {});          // raw type with an input
  addDerived(d, 4, kMultiInput, {1}, 9, {});
  d.measurement(3)->type.inputCount = -1;           // negative count: nothing linked
  ConverterSet set;
  set.Build(&d);
  const Bytes block = {4};
  set.ProcessSampleBlock(block.data(), block.size(), 0.0);
  EXPECT_TRUE(set.converters[0]->computed);
  for (int i = 1; i < 4; ++i) {
    EXPECT_FALSE(set.converters[static_cast<std::size_t>(i)]->computed) << i;
    EXPECT_EQ(set.converters[static_cast<std::size_t>(i)]->value, 0.0f);
  }
  EXPECT_EQ(set.converters[1]->inputs[0], nullptr);
}

TEST(Conversion, NeverReadsPastTheBlock) {
  Datasheet d;
  addRaw(d, 1, kRawPlain, 2);
  addRaw(d, 2, kRawLong, 4);
  addDerived(d, 3, kOperation, {2}, 7, {1, 0});
  ConverterSet set;
  set.Build(&d);
  const auto shortBlock = std::make_unique<std::uint8_t[]>(3);
  shortBlock[0] = 5;
  set.ProcessSampleBlock(shortBlock.get(), 3, 0.0);
  EXPECT_TRUE(set.converters[0]->computed);
  EXPECT_FLOAT_EQ(set.converters[0]->value, 5.0f);
  EXPECT_FALSE(set.converters[1]->computed);
  EXPECT_FALSE(set.converters[2]->computed);
  set.ProcessSampleBlock(nullptr, 0, 0.0);
  EXPECT_FALSE(set.converters[0]->computed);
}

TEST(ConverterSet, SlotsFollowTheMeasurementsAndFindIsByIdentity) {
  Datasheet d;
  for (int i = 0; i < kMaxMeasurements; ++i) addRaw(d, i + 1, kRawPlain, 1);
  Datasheet other;
  addRaw(other, 1, kRawPlain, 1);
  ConverterSet set;
  set.Build(&d);
  for (int i = 0; i < ConverterSet::kSlots; ++i) {
    EXPECT_EQ(set.converters[static_cast<std::size_t>(i)] != nullptr, i < kMaxMeasurements) << i;
  }
  EXPECT_EQ(set.FindConverter(d.measurement(5)), set.converters[5].get());
  EXPECT_EQ(set.FindConverter(other.measurement(0)), nullptr);
  EXPECT_EQ(set.FindConverter(nullptr), nullptr);
  set.Build(nullptr);  // nothing happens
  EXPECT_NE(set.converters[0], nullptr);
  set.Clear();
  EXPECT_EQ(set.converters[0], nullptr);
}

TEST(ConverterSet, AveragesSumValidValuesUntilReset) {
  Datasheet d;
  addRaw(d, 1, kRawPlain, 1);
  ConverterSet set;
  set.Build(&d);
  for (std::uint8_t v : {2, 4, 6}) set.ProcessSampleBlock(&v, 1, 0.0);
  EXPECT_EQ(set.converters[0]->sampleCount, 3);
  EXPECT_FLOAT_EQ(set.converters[0]->valueSum / set.converters[0]->sampleCount, 4.0f);
  set.ResetAverages();
  EXPECT_EQ(set.converters[0]->sampleCount, 0);
  EXPECT_EQ(set.converters[0]->valueSum, 0.0f);
}

TEST(ConverterSet, TotalSampleSize) {
  Datasheet d;
  addRaw(d, 1, kRawLong, 4);
  addRaw(d, 2, kRawScaled, 2);
  addRaw(d, 3, kRawPlain, -3);
  addDerived(d, 4, kCalibrated, {1}, 0, {0, 0, 1, 1});
  EXPECT_EQ(ConverterSet::totalSampleSize(d), 6u);
}

TEST(ConverterSet, ConversionAllocatesNothing) {
  Datasheet d;
  for (int i = 0; i < 16; ++i) addRaw(d, i + 1, kRawScaled, 2);
  for (int i = 0; i < 16; ++i) addDerived(d, 100 + i, i % 2 ? kCalibrated : kOperation, {i + 1}, 8, {1, 2, 3, 4});
  ConverterSet set;
  set.Build(&d);
  const Bytes block(32, 0x11);
  int during = -1;
  {
    test::AllocationCounter counter;
    for (int i = 0; i < 16; ++i) set.ProcessSampleBlock(block.data(), block.size(), 0.0);
    set.ResetAverages();
    during = counter.count();
  }
  EXPECT_EQ(during, 0);
  // The hook itself works: an allocation while armed is counted.
  test::AllocationCounter counter;
  auto probe = std::make_unique<int>(1);
  EXPECT_EQ(counter.count(), 1);
}

}  // namespace
}  // namespace trimwell
