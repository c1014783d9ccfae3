#pragma once
// One measurement of a datasheet: how a value is obtained from the sensor's raw
// samples or from other measurements, and its image inside a datasheet.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory_resource>
#include <vector>

#include "datasheet/byte_stream.h"
#include "datasheet/text.h"

namespace trimwell {

class Datasheet;
class Measurement;

constexpr int kMaxInputs = 16;
constexpr int kMaxConstants = 16;

// Conversion types 0..8 of the type block; other values are kept but not interpreted.
enum ConversionType : int {
  kRawLong = 0,       // 4-byte raw sample
  kRawScaled = 1,     // sample of the block's size
  kRawPlain = 2,      // sample of the block's size
  kCalibrated = 3,    // two-point line over one input
  kOperation = 4,     // one input, an operation with 0..2 constants
  kPiecewise = 5,     // one input, pairs of constants
  kText = 6,          // a text, no value
  kOptionLine = 7,    // two-point line with option bits
  kMultiInput = 8,    // up to 16 inputs, an operation
};

struct TypeDescriptor {
  TypeDescriptor() = default;
  explicit TypeDescriptor(std::pmr::memory_resource* storage) : text(storage) {}

  const Measurement* source = nullptr;  // linked by the datasheet for types 3, 4, 5, 7
  int conversionType = 0;
  int sampleSize = 0;  // bytes in one sensor sample; may be negative in a foreign image
  int inputCount = 0;  // as read; only the first min(inputCount, 16) IDs exist
  std::array<int, kMaxInputs> inputIds{};
  int operation = 0;
  std::array<int, 4> optionFlags{};
  TextValue text;
  int constantCount = 0;
  std::array<double, kMaxConstants> constants{};
  // The block's bytes after what this station reads of its type, as read: a piecewise
  // block's pairs beyond the 16 constants kept, or a block longer than its type's
  // written length. They go back after the block's own fields, so that a write never
  // shortens the block.
  std::vector<std::uint8_t> keptTail;
  // Bits 4..7 of an option line's option byte, which the station does not interpret.
  int optionHighBits = 0;

  int storedInputCount() const;  // min(inputCount, 16), never negative
};

class Measurement {
 public:
  // Its texts take their memory from storage: the owner's block for all its texts.
  explicit Measurement(const Datasheet* owner = nullptr,
                       std::pmr::memory_resource* storage = std::pmr::get_default_resource())
      : owner(owner),
        primaryText(storage),
        secondaryText(storage),
        extensionText(storage),
        wideExtensionTexts{TextValue(storage), TextValue(storage), TextValue(storage)},
        type(storage) {}

  bool decodeRecord(ByteReader& reader);
  bool encodeRecord(ByteWriter& writer);
  bool decodeTypeBlock(int type, const std::uint8_t* bytes, std::size_t length);
  void decodePiecewise(ByteReader& block, std::size_t length);
  bool encodeTypeBlock(int type, std::uint8_t* buffer, std::size_t capacity,
                       std::size_t* outLength = nullptr) const;
  std::size_t blockSize(int type) const;

  const Datasheet* owner;
  std::uint16_t id = 0;
  TextValue primaryText;
  TextValue secondaryText;
  TextValue extensionText;
  std::array<TextValue, 3> wideExtensionTexts;
  std::uint8_t conversionType = 0;
  std::uint8_t blockLength = 0;
  // Where the type block began in the buffer it was read from (for a datasheet, the
  // offset in its image): the calibration finds the constants as read there.
  std::size_t blockOffset = 0;
  // The block of a conversion type this station does not know, as read, and written
  // back as it came; the blocks of known types are decoded in place.
  std::vector<std::uint8_t> rawBlock;
  TypeDescriptor type;
  std::array<int, 8> flags{};
  double fixedValue = 0.0;
  std::array<std::uint8_t, 2> byteValues{};
  std::array<double, 4> fixedValues{};
  // Bits 4 and 5 of the flag byte in its newer form, which the station does not
  // interpret: kept so that the byte goes back as it came.
  std::uint8_t flagSpareBits = 0;

  // Where the type's constants start inside its block, for the types that keep them
  // side by side (3, 4, 5, 7, and 8 with operation 8); false for the others.
  bool constantsOffset(std::size_t& offset) const;

 private:
  bool usesOldFlagForm() const;
  void readFlagByte(int byte);
  std::uint8_t flagByte() const;
};

// Constants that conversion type 4 reads for an operation: 1 for 1, 3, 5; 2 for 2, 4, 7.
int operationConstantCount(int operation);

}  // namespace trimwell
