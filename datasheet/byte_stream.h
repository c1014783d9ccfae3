#pragma once
// Bounded cursors over a caller-owned byte buffer, used by every datasheet codec.
//
// Neither object owns or grows its buffer. Instead of failing call by call they keep
// a sticky overflow flag: an operation that does not fit sets it, leaves the buffer
// and the cursor untouched, and (for a read) returns zero. Callers test the flag once
// per record or image. All multi-byte values are little-endian; "fixed" is 16.16.

#include <cstddef>
#include <cstdint>

#include "datasheet/text.h"

namespace trimwell {

// The bitwise complement of the 32-bit sum of the bytes (0xFFFFFFFF when empty).
std::uint32_t imageChecksum(const std::uint8_t* bytes, std::size_t length);

class ByteReader {
 public:
  ByteReader(const std::uint8_t* buffer, std::size_t length)
      : start_(buffer), cursor_(buffer), end_(buffer + length) {}

  // Inline: a decode makes some three hundred of these calls.
  int get8() { return static_cast<std::int8_t>(static_cast<std::uint8_t>(getUnsigned<1>())); }  // -128..127
  int get16() { return static_cast<int>(getUnsigned<2>()); }                                   // 0..65535
  std::int32_t get32() { return static_cast<std::int32_t>(getUnsigned<4>()); }
  double getFixed() { return get32() * (1.0 / 65536.0); }  // signed 16.16
  void getBytes(std::uint8_t* destination, std::size_t count);
  void skip(std::size_t count);

  // Copies at most limit - 1 characters and terminates the destination, which has
  // room for limit units. A string of limit - 1 characters or more is cut: the
  // cursor then steps over exactly one more unit, terminator or not.
  void getString8(char* destination, std::size_t limit);
  void getString16(char16_t* destination, std::size_t limit);
  void getText8(TextValue& value);
  void getText16(TextValue& value);

  std::size_t position() const { return static_cast<std::size_t>(cursor_ - start_); }
  const std::uint8_t* start() const { return start_; }
  // The bytes from the cursor on, for a block read in place (then skipped).
  const std::uint8_t* current() const { return cursor_; }
  bool fits(std::size_t count) const { return static_cast<std::size_t>(end_ - cursor_) >= count; }
  bool overflowed() const { return overflow_ != 0; }

 private:
  template <int Bytes>
  std::uint32_t getUnsigned() {
    if (!fits(Bytes)) {
      overflow_ = 1;
      return 0;
    }
    std::uint32_t value = 0;
    for (int i = 0; i < Bytes; ++i) value |= static_cast<std::uint32_t>(cursor_[i]) << (8 * i);
    cursor_ += Bytes;
    return value;
  }

  const std::uint8_t* start_;
  const std::uint8_t* cursor_;
  const std::uint8_t* end_;
  int overflow_ = 0;
};

class ByteWriter {
 public:
  static constexpr long kAtCursor = -1;

  ByteWriter(std::uint8_t* buffer, std::size_t length)
      : start_(buffer), cursor_(buffer), end_(buffer + length) {}

  void put8(std::uint32_t value);
  // offset kAtCursor writes at the cursor and advances it; any other offset writes at
  // start + offset and leaves the cursor where it is.
  void put16(std::uint32_t value, long offset = kAtCursor);
  void put32(std::uint32_t value, long offset = kAtCursor);
  // value x 65536 truncated toward zero; values beyond the 32-bit range saturate and
  // NaN stores 0, so a wild constant never becomes undefined behaviour.
  void putFixed(double value);
  void putBytes(const std::uint8_t* source, std::size_t count);

  // limit 0: no limit. With limit L a text of up to L - 1 characters is written with
  // its terminator; a longer one sets overflow after L - 1 characters.
  void putString8(const char* text, std::size_t limit);
  void putString16(const char16_t* text, std::size_t limit);
  void putText8(const TextValue& value);
  void putText16(const TextValue& value);

  std::size_t position() const { return static_cast<std::size_t>(cursor_ - start_); }
  const std::uint8_t* start() const { return start_; }
  bool overflowed() const { return overflow_ != 0; }

 private:
  void putUnsigned(std::uint32_t value, int bytes, long offset);

  std::uint8_t* start_;
  std::uint8_t* cursor_;
  std::uint8_t* end_;
  int overflow_ = 0;
};

// Truncation toward zero with saturation, shared by the writer and the calibration block.
std::int32_t toFixed(double value);

}  // namespace trimwell
