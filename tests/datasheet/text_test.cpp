#include "datasheet/text.h"

#include <gtest/gtest.h>

namespace trimwell {
namespace {

TEST(CodePage, AllBytesRoundTrip) {
  for (int byte = 0; byte < 256; ++byte) {
    const char16_t wide = fromCodePage(static_cast<unsigned char>(byte));
    EXPECT_EQ(toCodePage(wide), byte) << byte;
  }
}

// Windows-1252 as the Unicode Consortium's mapping table has it
// (Public/MAPPINGS/VENDORS/MICSFT/WINDOWS/CP1252.TXT); its five undefined bytes stay
// themselves.
TEST(CodePage, KnownCharacters) {
  EXPECT_EQ(fromCodePage(0x80), u'\u20AC');
  EXPECT_EQ(fromCodePage(0x9F), u'\u0178');
  EXPECT_EQ(fromCodePage(0xB5), u'\u00B5');
  EXPECT_EQ(fromCodePage(0x81), u'\u0081');  // undefined in the code page: kept
  EXPECT_EQ(toCodePage(u'\u00B0'), 0xB0);
  EXPECT_EQ(toCodePage(u'\u2122'), 0x99);
}

TEST(CodePage, UnmappableBecomesQuestionMark) {
  EXPECT_EQ(toCodePage(u"\u6E29 \u0100\u0085"), "? ??");
}

TEST(Utf8, RoundTripsEveryPlane) {
  const std::u16string text = u"a\u00B5\u20AC\U0001F600z";
  std::u16string back;
  ASSERT_TRUE(fromUtf8(toUtf8(text), back));
  EXPECT_EQ(back, text);
  EXPECT_EQ(toUtf8(u"\u00B0C"), "\xC2\xB0" "C");
}

TEST(Utf8, RejectsMalformedInput) {
  std::u16string out;
  for (const char* bad : {"\xC2", "\xE2\x82", "\xFF", "\x80", "\xED\xA0\x80", "a\xC2z"}) {
    EXPECT_FALSE(fromUtf8(bad, out)) << bad;
  }
}

}  // namespace
}  // namespace trimwell
