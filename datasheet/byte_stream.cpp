#include "datasheet/byte_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace trimwell {

std::uint32_t imageChecksum(const std::uint8_t* bytes, std::size_t length) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < length; ++i) sum += bytes[i];
  return ~sum;
}

std::int32_t toFixed(double value) {
  const double scaled = std::trunc(value * 65536.0);
  if (std::isnan(scaled)) return 0;
  if (scaled >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (scaled <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(scaled);
}

// ---- reader ----

void ByteReader::getBytes(std::uint8_t* destination, std::size_t count) {
  if (count == 0) return;
  if (!fits(count)) {
    overflow_ = 1;
    return;
  }
  for (std::size_t i = 0; i < count; ++i) destination[i] = cursor_[i];
  cursor_ += count;
}

void ByteReader::skip(std::size_t count) {
  if (count == 0) return;
  if (!fits(count)) {
    overflow_ = 1;
    return;
  }
  cursor_ += count;
}

namespace {

// One template for the 8-bit and 16-bit string reads: Unit is char or char16_t.
template <typename Unit>
Unit unitAt(const std::uint8_t* p) {
  if constexpr (sizeof(Unit) == 1) {
    return static_cast<Unit>(p[0]);
  } else {
    return static_cast<Unit>(p[0] | (p[1] << 8));
  }
}

}  // namespace

template <typename Unit>
static void readString(const std::uint8_t*& cursor, const std::uint8_t* end, int& overflow,
                       Unit* destination, std::size_t limit) {
  constexpr std::size_t kUnit = sizeof(Unit);
  if (limit == 0) return;
  std::size_t copied = 0;
  while (true) {
    // A string cut by the end of the buffer keeps what was copied, terminated, so
    // that a reader of the destination never runs on into bytes nobody wrote.
    if (static_cast<std::size_t>(end - cursor) < kUnit) {
      overflow = 1;  // the byte at the cursor lies beyond the end
      destination[copied] = 0;
      return;
    }
    if (unitAt<Unit>(cursor) == 0 || copied >= limit - 1) break;
    if (static_cast<std::size_t>(end - cursor) < 2 * kUnit) {
      overflow = 1;  // the character and one more unit must fit
      destination[copied] = 0;
      return;
    }
    destination[copied++] = unitAt<Unit>(cursor);
    cursor += kUnit;
  }
  cursor += kUnit;  // the terminator, or the unit after a cut string
  destination[copied] = 0;
}

void ByteReader::getString8(char* destination, std::size_t limit) {
  // The usual case in one step: a terminator within both the limit and the buffer.
  // Anything else goes character by character, with its exact rules.
  const std::size_t reach = limit > 0 ? std::min(limit - 1, static_cast<std::size_t>(end_ - cursor_)) : 0;
  const void* terminator = reach > 0 ? std::memchr(cursor_, 0, reach) : nullptr;
  if (terminator == nullptr) {
    readString(cursor_, end_, overflow_, destination, limit);
    return;
  }
  const auto length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(terminator) - cursor_);
  std::memcpy(destination, cursor_, length);
  destination[length] = 0;
  cursor_ += length + 1;
}

void ByteReader::getString16(char16_t* destination, std::size_t limit) {
  readString(cursor_, end_, overflow_, destination, limit);
}

namespace {

constexpr std::size_t kStackText = TextValue::kDefaultCapacity + 1;

// Scratch room for one text: on the stack for the usual capacity, on the heap beyond.
template <typename Unit>
class TextScratch {
 public:
  explicit TextScratch(std::size_t units) {
    if (units > kStackText) heap_.resize(units);
    data_ = units > kStackText ? heap_.data() : stack_;
  }
  Unit* data() { return data_; }

 private:
  Unit stack_[kStackText];
  std::vector<Unit> heap_;
  Unit* data_;
};

char16_t fromImageByte(std::uint8_t byte) { return byte < 0x80 ? byte : fromCodePage(byte); }

// Eight bytes at a time: nearly every text is ASCII and short.
bool allAscii(const std::uint8_t* bytes, std::size_t length) {
  std::uint64_t high = 0;
  std::size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    high |= word;
  }
  for (; i < length; ++i) high |= bytes[i];
  return (high & 0x8080808080808080ull) == 0;
}

}  // namespace

// The usual case, a terminator within the capacity and the buffer, converts straight
// from the image; anything else goes through the exact string rules and a scratch.
void ByteReader::getText8(TextValue& value) {
  const std::size_t limit = value.capacity;
  const std::size_t reach = limit > 0 ? std::min(limit - 1, static_cast<std::size_t>(end_ - cursor_)) : 0;
  const void* terminator = reach > 0 ? std::memchr(cursor_, 0, reach) : nullptr;
  if (terminator != nullptr) {
    const auto length = static_cast<std::size_t>(static_cast<const std::uint8_t*>(terminator) - cursor_);
    if (length < kStackText) {
      // Converted on the stack, then one assign: no fill of the string first.
      // ASCII, nearly every text, widens without a look at the code page.
      char16_t wide[kStackText];
      if (allAscii(cursor_, length)) {
        for (std::size_t i = 0; i < length; ++i) wide[i] = cursor_[i];
      } else {
        for (std::size_t i = 0; i < length; ++i) wide[i] = fromImageByte(cursor_[i]);
      }
      value.text.assign(wide, length);
    } else {
      value.text.resize(length);
      for (std::size_t i = 0; i < length; ++i) value.text[i] = fromImageByte(cursor_[i]);
    }
    cursor_ += length + 1;
    return;
  }
  TextScratch<char> scratch(value.capacity + 1);
  scratch.data()[0] = 0;
  getString8(scratch.data(), value.capacity);
  const std::size_t length = std::char_traits<char>::length(scratch.data());
  value.text.resize(length);
  for (std::size_t i = 0; i < length; ++i) value.text[i] = fromImageByte(static_cast<std::uint8_t>(scratch.data()[i]));
}

void ByteReader::getText16(TextValue& value) {
  const std::size_t limit = value.capacity;
  const std::size_t reach = limit > 0 ? std::min(limit - 1, static_cast<std::size_t>(end_ - cursor_) / 2) : 0;
  std::size_t length = 0;
  while (length < reach && (cursor_[2 * length] | cursor_[2 * length + 1]) != 0) ++length;
  if (length < reach) {
    value.text.assign(length, u'\0');
    char16_t* out = value.text.data();
    for (std::size_t i = 0; i < length; ++i) out[i] = unitAt<char16_t>(cursor_ + 2 * i);
    cursor_ += 2 * (length + 1);
    return;
  }
  TextScratch<char16_t> scratch(value.capacity + 1);
  scratch.data()[0] = 0;
  getString16(scratch.data(), value.capacity);
  value.text.assign(scratch.data());
}

// ---- writer ----

void ByteWriter::putUnsigned(std::uint32_t value, int bytes, long offset) {
  std::uint8_t* at = cursor_;
  if (offset != kAtCursor) {
    if (offset < 0 || static_cast<std::size_t>(offset) > static_cast<std::size_t>(end_ - start_)) {
      overflow_ = 1;
      return;
    }
    at = start_ + offset;
  }
  if (static_cast<std::size_t>(end_ - at) < static_cast<std::size_t>(bytes)) {
    overflow_ = 1;
    return;
  }
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
  if (offset == kAtCursor) cursor_ += bytes;
}

void ByteWriter::put8(std::uint32_t value) { putUnsigned(value, 1, kAtCursor); }
void ByteWriter::put16(std::uint32_t value, long offset) { putUnsigned(value, 2, offset); }
void ByteWriter::put32(std::uint32_t value, long offset) { putUnsigned(value, 4, offset); }
void ByteWriter::putFixed(double value) { put32(static_cast<std::uint32_t>(toFixed(value))); }

void ByteWriter::putBytes(const std::uint8_t* source, std::size_t count) {
  if (count == 0) return;
  if (static_cast<std::size_t>(end_ - cursor_) < count) {
    overflow_ = 1;
    return;
  }
  for (std::size_t i = 0; i < count; ++i) cursor_[i] = source[i];
  cursor_ += count;
}

template <typename Unit>
static void writeString(std::uint8_t*& cursor, const std::uint8_t* end, int& overflow,
                        const Unit* text, std::size_t limit) {
  constexpr std::size_t kUnit = sizeof(Unit);
  auto store = [&](Unit unit) {
    cursor[0] = static_cast<std::uint8_t>(unit);
    if constexpr (kUnit == 2) cursor[1] = static_cast<std::uint8_t>(unit >> 8);
    cursor += kUnit;
  };
  for (const Unit* p = text; *p != 0; ++p) {
    if (limit != 0 && --limit == 0) {
      overflow = 1;
      return;
    }
    if (static_cast<std::size_t>(end - cursor) < 2 * kUnit) {
      overflow = 1;
      return;
    }
    store(*p);
  }
  if (static_cast<std::size_t>(end - cursor) < kUnit) {
    overflow = 1;
    return;
  }
  store(0);
}

void ByteWriter::putString8(const char* text, std::size_t limit) {
  writeString(cursor_, end_, overflow_, text, limit);
}

void ByteWriter::putString16(const char16_t* text, std::size_t limit) {
  writeString(cursor_, end_, overflow_, text, limit);
}

void ByteWriter::putText8(const TextValue& value) {
  // The scratch buffer holds capacity bytes, so a longer text is cut to fit it.
  const std::size_t room = value.capacity > 0 ? value.capacity - 1 : 0;
  const std::size_t count = std::min(value.text.size(), room);
  TextScratch<char> scratch(count + 1);
  for (std::size_t i = 0; i < count; ++i) scratch.data()[i] = static_cast<char>(toCodePage(value.text[i]));
  scratch.data()[count] = 0;
  putString8(scratch.data(), 0);
}

void ByteWriter::putText16(const TextValue& value) { putString16(value.text.c_str(), value.capacity); }

}  // namespace trimwell
