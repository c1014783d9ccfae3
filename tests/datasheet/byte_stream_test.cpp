#include "datasheet/byte_stream.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace trimwell {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageChecksum, KnownAnswers) {
  EXPECT_EQ(imageChecksum(nullptr, 0), 0xFFFFFFFFu);
  const std::uint8_t abc[] = {97, 98, 99};
  EXPECT_EQ(imageChecksum(abc, 3), 0xFFFFFED9u);
  Bytes many(0x1000000 / 255 + 2, 0xFF);  // the sum wraps past 2^24 without trouble
  EXPECT_EQ(imageChecksum(many.data(), many.size()), ~static_cast<std::uint32_t>(many.size() * 255));
}

TEST(ByteWriter, ZeroLengthBufferOverflowsAtOnce) {
  ByteWriter w(nullptr, 0);
  w.putBytes(nullptr, 0);
  EXPECT_FALSE(w.overflowed());
  w.put16(1, 0);
  EXPECT_TRUE(w.overflowed());
  ByteWriter w2(nullptr, 0);
  w2.put8(1);
  EXPECT_TRUE(w2.overflowed());
  ByteReader r(nullptr, 0);
  EXPECT_EQ(r.get8(), 0);
  EXPECT_TRUE(r.overflowed());
}

TEST(ByteWriter, Put32FillsTheLastFourBytesThenOverflowsWithoutMoving) {
  Bytes buf(6, 0xEE);
  ByteWriter w(buf.data(), buf.size());
  w.put16(0xBEEF);
  w.put32(0x11223344);
  EXPECT_FALSE(w.overflowed());
  EXPECT_EQ(w.position(), 6u);
  w.put8(0x55);
  EXPECT_TRUE(w.overflowed());
  EXPECT_EQ(w.position(), 6u);
  EXPECT_EQ(buf, (Bytes{0xEF, 0xBE, 0x44, 0x33, 0x22, 0x11}));
}

TEST(ByteWriter, AbsoluteWriteLeavesTheCursor) {
  Bytes buf(8, 0);
  ByteWriter w(buf.data(), buf.size());
  w.put8(1);
  w.put16(0xA1B2, 4);
  EXPECT_EQ(w.position(), 1u);
  EXPECT_EQ(buf[4], 0xB2);
  EXPECT_EQ(buf[5], 0xA1);
  w.put32(0x01020304, 5);  // would end past the buffer: nothing is written
  EXPECT_TRUE(w.overflowed());
  EXPECT_EQ(buf[5], 0xA1);
  w.put8(2);  // a later write that fits still succeeds
  EXPECT_EQ(buf[1], 2);
}

struct FixedCase {
  double value;
  std::uint32_t stored;
};

class PutFixed : public ::testing::TestWithParam<FixedCase> {};

TEST_P(PutFixed, TruncatesTowardZero) {
  Bytes buf(4, 0);
  ByteWriter w(buf.data(), buf.size());
  w.putFixed(GetParam().value);
  std::uint32_t stored = 0;
  for (int i = 3; i >= 0; --i) stored = stored << 8 | buf[static_cast<std::size_t>(i)];
  EXPECT_EQ(stored, GetParam().stored);
}

// 16.16 fixed point, worked by hand: 1.5 is 0x0001 and half of 0x10000 (0x8000);
// -1.5 its two's complement; 0.99999999 falls short of 1 by less than one step.
INSTANTIATE_TEST_SUITE_P(Values, PutFixed,
                         ::testing::Values(FixedCase{1.5, 0x00018000}, FixedCase{-1.5, 0xFFFE8000},
                                           FixedCase{0.99999999, 65535}, FixedCase{-0.99999999, 0xFFFF0001},
                                           FixedCase{0.0, 0},
                                           // beyond the 16.16 range: saturated, never undefined
                                           FixedCase{1e12, 0x7FFFFFFF}, FixedCase{-1e12, 0x80000000},
                                           FixedCase{std::nan(""), 0}));

TEST(ByteReader, SignedAndUnsignedReads) {
  const Bytes buf = {0xFF, 0xFF, 0xFF, 0x00, 0x80, 0x01, 0x00, 0xFE, 0xFF, 0xFF, 0xFF};
  ByteReader r(buf.data(), buf.size());
  EXPECT_EQ(r.get8(), -1);
  EXPECT_EQ(r.get16(), 65535);
  EXPECT_DOUBLE_EQ(r.getFixed(), 1.5);
  EXPECT_EQ(r.get32(), -2);
  EXPECT_FALSE(r.overflowed());
  EXPECT_EQ(r.get8(), 0);
  EXPECT_TRUE(r.overflowed());
}

TEST(ByteReader, FailedReadReturnsZeroAndKeepsCursor) {
  const Bytes buf = {1, 2, 3};
  ByteReader r(buf.data(), buf.size());
  EXPECT_EQ(r.get32(), 0);
  EXPECT_TRUE(r.overflowed());
  EXPECT_EQ(r.position(), 0u);
  EXPECT_EQ(r.get16(), 0x0201);  // still reads what fits; the flag stays set
  EXPECT_TRUE(r.overflowed());
}

TEST(ByteStream, ZeroCountBlocksNeverOverflow) {
  Bytes buf(2, 0);
  ByteWriter w(buf.data(), buf.size());
  w.put16(7);
  w.putBytes(buf.data(), 0);
  EXPECT_FALSE(w.overflowed());
  ByteReader r(buf.data(), buf.size());
  r.get16();
  r.getBytes(nullptr, 0);
  EXPECT_FALSE(r.overflowed());
}

TEST(PutString8, LimitBoundsTheText) {
  Bytes buf(8, 0xEE);
  ByteWriter w(buf.data(), buf.size());
  w.putString8("abc", 4);
  EXPECT_EQ(w.position(), 4u);
  EXPECT_FALSE(w.overflowed());
  w.putString8("defg", 4);
  EXPECT_TRUE(w.overflowed());
  EXPECT_EQ(w.position(), 7u);  // three characters, no terminator
  EXPECT_EQ(std::memcmp(buf.data(), "abc\0def", 7), 0);
  EXPECT_EQ(buf[7], 0xEE);
}

TEST(PutString8, TerminatorMustFit) {
  Bytes buf(3, 0xEE);
  ByteWriter w(buf.data(), buf.size());
  w.putString8("abc", 0);
  EXPECT_TRUE(w.overflowed());
  EXPECT_EQ(w.position(), 2u);  // each character needs room for one more byte
}

TEST(PutString16, WritesUnitsAndTerminator) {
  Bytes buf(6, 0xEE);
  ByteWriter w(buf.data(), buf.size());
  w.putString16(u"\u00B5S", 0);
  EXPECT_FALSE(w.overflowed());
  EXPECT_EQ(buf, (Bytes{0xB5, 0x00, 'S', 0x00, 0x00, 0x00}));
  ByteWriter full(buf.data(), 5);
  full.putString16(u"ab", 0);
  EXPECT_TRUE(full.overflowed());
}

TEST(GetString8, CopiesAndTerminates) {
  const Bytes buf = {0x61, 0x62, 0x63, 0x00, 0x7A};
  ByteReader r(buf.data(), buf.size());
  char out[5] = {'x', 'x', 'x', 'x', 'x'};
  r.getString8(out, 5);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(r.position(), 4u);
  r.getString8(out, 0);
  EXPECT_EQ(r.position(), 4u);
  EXPECT_FALSE(r.overflowed());
}

TEST(GetString8, OverlongStringIsCutAndStepsOverOneByte) {
  const Bytes buf = {'a', 'b', 'c', 'd', 'e', 0, 'z'};
  ByteReader r(buf.data(), buf.size());
  char out[4];
  r.getString8(out, 4);
  EXPECT_STREQ(out, "abc");
  EXPECT_EQ(r.position(), 4u);  // 'd' was stepped over as if it ended the string
  EXPECT_FALSE(r.overflowed());
}

// A string cut by the end of the buffer: the destination holds what the buffer
// held, terminated, and nothing of what was in the destination before.
TEST(GetString8, StringCutByTheEndKeepsWhatWasThere) {
  for (std::size_t size = 0; size <= 3; ++size) {
    const Bytes buf = {'a', 'b', 'c'};
    ByteReader r(buf.data(), size);
    char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    r.getString8(out, 8);
    EXPECT_TRUE(r.overflowed()) << size;
    // The last byte before the end cannot be copied: a character needs one more.
    const std::string expected = size == 0 ? "" : std::string("abc").substr(0, size - 1);
    EXPECT_EQ(std::string(out), expected) << size;
  }
}

TEST(GetString16, StringCutByTheEndKeepsWhatWasThere) {
  const Bytes buf = {'h', 0, 'i', 0, 'j'};
  ByteReader r(buf.data(), buf.size());
  char16_t out[8];
  std::fill(std::begin(out), std::end(out), u'x');
  r.getString16(out, 8);
  EXPECT_TRUE(r.overflowed());
  EXPECT_EQ(std::u16string(out), u"h");
}

// Texts read through a value whose scratch room held other text before: a cut text
// gives what the image held, never leftovers.
TEST(GetText, CutTextHoldsOnlyTheImageBytes) {
  const Bytes longer = {'T', 'h', 'e', 'r', 'm', 'o', 'V', 'i', 'e', 'w', 0};
  TextValue first;
  ByteReader whole(longer.data(), longer.size());
  whole.getText8(first);
  ASSERT_EQ(first.text, u"ThermoView");
  for (std::size_t cut = 1; cut < 6; ++cut) {
    ByteReader r(longer.data(), cut);
    TextValue value;
    value.text = u"leftover";
    r.getText8(value);
    EXPECT_TRUE(r.overflowed());
    EXPECT_EQ(std::u16string_view(value.text), std::u16string_view(u"ThermoView").substr(0, cut - 1)) << cut;
  }
  const Bytes wide = {'a', 0, 'b', 0, 'c'};
  ByteReader r16(wide.data(), wide.size());
  TextValue value16;
  r16.getText16(value16);
  EXPECT_EQ(value16.text, u"a");
}

TEST(GetString16, ReadsUnits) {
  const Bytes buf = {'h', 0, 0xAC, 0x20, 0, 0};
  ByteReader r(buf.data(), buf.size());
  char16_t out[4];
  r.getString16(out, 4);
  EXPECT_EQ(std::u16string(out), u"h\u20AC");
  EXPECT_EQ(r.position(), 6u);
}

// Every text operation over every buffer size: an image cut anywhere never reads or
// writes past its end, and a complete buffer gives the text back.
TEST(TextRoundTrip, EveryBufferSize) {
  TextValue text;
  text.text = u"\u00B5S/cm \u00B0C \u20AC";
  TextValue wide;
  wide.text = u"\u6E29\u5EA6 temperature";
  for (std::size_t size = 0; size <= 64; ++size) {
    std::vector<std::uint8_t> buf(size);
    ByteWriter w(buf.data(), buf.size());
    w.putText8(text);
    w.putText16(wide);
    ByteReader r(buf.data(), w.position());
    TextValue back8, back16;
    r.getText8(back8);
    r.getText16(back16);
    if (!w.overflowed()) {
      EXPECT_EQ(back8.text, text.text) << size;
      EXPECT_EQ(back16.text, wide.text) << size;
      EXPECT_FALSE(r.overflowed());
    }
  }
}

TEST(TextValue, CapacityBoundsWhatIsRead) {
  std::vector<std::uint8_t> buf(400, 'x');
  buf[300] = 0;
  ByteReader r(buf.data(), buf.size());
  TextValue value;
  r.getText8(value);
  EXPECT_EQ(value.text.size(), TextValue::kDefaultCapacity - 1);
  EXPECT_FALSE(r.overflowed());
}

}  // namespace
}  // namespace trimwell
