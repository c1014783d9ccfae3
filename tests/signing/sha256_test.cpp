// The content hash against FIPS 180-4's examples, across block boundaries and in
// pieces; and the canonical form, whose lengths keep apart contents that plain
// concatenation would run together.
#include "signing/sha256.h"

#include <cmath>

#include <gtest/gtest.h>

#include "signing/canonical_form.h"

namespace trimwell::signing {
namespace {

struct Vector {
  const char* name;
  std::string message;
  const char* digest;
};

class Sha256Vectors : public ::testing::TestWithParam<Vector> {};

TEST_P(Sha256Vectors, MatchTheStandardsExamples) {
  const std::string& m = GetParam().message;
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(m.data()), m.size());
  EXPECT_EQ(sha256Hex(bytes), GetParam().digest);
  // Fed in uneven pieces, the same digest.
  Sha256 pieces;
  for (std::size_t at = 0, step = 1; at < bytes.size(); at += step, step = step * 3 % 71 + 1) {
    pieces.add(bytes.subspan(at, std::min(step, bytes.size() - at)));
  }
  EXPECT_EQ(hexDigest(pieces.finish()), GetParam().digest);
}

INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha256Vectors,
    ::testing::Values(
        Vector{"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        Vector{"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        Vector{"two_blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
               "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        Vector{"fifty_five", std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
        Vector{"fifty_six", std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
        Vector{"million", std::string(1000000, 'a'),
               "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CanonicalForm, LengthsKeepFieldsApart) {
  CanonicalWriter ab("form", 1), a_b("form", 1), v2("form", 2);
  ab.text("ab");
  ab.text("");
  a_b.text("a");
  a_b.text("b");
  v2.text("ab");
  v2.text("");
  EXPECT_NE(ab.written(), a_b.written());
  EXPECT_NE(ab.written(), v2.written());
  CanonicalWriter number("n", 1), negativeZero("n", 1), nan("n", 1), otherNan("n", 1);
  number.number(0.0);
  negativeZero.number(-0.0);
  nan.number(std::nan(""));
  otherNan.number(-std::nan("7"));
  EXPECT_EQ(number.written(), negativeZero.written());  // no store keeps the sign of a zero
  EXPECT_EQ(nan.written(), otherNan.written());
  const std::vector<std::uint8_t> expected = {0, 0, 0, 1, 'n', 0, 0, 0, 0, 0, 0, 0, 1, 0x7f, 0xf8, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(nan.written(), expected);
}

}  // namespace
}  // namespace trimwell::signing
