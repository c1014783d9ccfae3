#include "datasheet/measurement.h"

#include <algorithm>

#include "datasheet/datasheet.h"

namespace trimwell {

int operationConstantCount(int operation) {
  switch (operation) {
    case 1: case 3: case 5: return 1;
    case 2: case 4: case 7: return 2;
    default: return 0;
  }
}

int TypeDescriptor::storedInputCount() const { return std::clamp(inputCount, 0, kMaxInputs); }

bool Measurement::usesOldFlagForm() const {
  if (owner == nullptr) return true;
  const std::uint32_t version = owner->version();
  return version >= 1 && version < 0x20000;
}

void Measurement::readFlagByte(int byte) {
  if (usesOldFlagForm()) {
    flags[0] = byte;
    flags[2] = byte;
    flags[1] = 0;
    flags[3] = 1;
    return;
  }
  for (int bit : {0, 1, 2, 3, 6, 7}) flags[bit] = (byte >> bit) & 1;
  flagSpareBits = static_cast<std::uint8_t>(byte & 0x30);
}

std::uint8_t Measurement::flagByte() const {
  if (usesOldFlagForm()) return static_cast<std::uint8_t>(flags[0]);
  auto byte = static_cast<std::uint8_t>(flagSpareBits & 0x30);
  for (int bit : {0, 1, 2, 3, 6, 7}) {
    if (flags[bit] != 0) byte |= static_cast<std::uint8_t>(1u << bit);
  }
  return byte;
}

bool Measurement::decodeRecord(ByteReader& reader) {
  id = static_cast<std::uint16_t>(reader.get16());
  reader.getText8(primaryText);
  reader.getText8(secondaryText);
  conversionType = static_cast<std::uint8_t>(reader.get8());
  blockLength = static_cast<std::uint8_t>(reader.get8());
  blockOffset = reader.position();
  flagSpareBits = 0;
  const std::uint8_t* block = reader.current();
  const bool blockFits = !reader.overflowed() && reader.fits(blockLength);
  reader.skip(blockLength);
  if (!blockFits || !decodeTypeBlock(conversionType, block, blockLength)) return false;
  readFlagByte(reader.get8());
  fixedValue = reader.getFixed();
  byteValues[0] = static_cast<std::uint8_t>(reader.get8());
  byteValues[1] = static_cast<std::uint8_t>(reader.get8());
  for (double& value : fixedValues) value = reader.getFixed();
  return !reader.overflowed();
}

// At most 16 constants are converted; the pairs beyond them stay in the block's
// kept tail and are written back unchanged, so that a calibration never loses them.
void Measurement::decodePiecewise(ByteReader& block, std::size_t length) {
  type.inputCount = 1;
  type.inputIds[0] = block.get16();
  type.constantCount = 0;
  const long pairs = (static_cast<long>(length) - 2) / 8;
  for (long i = 0; i < pairs && type.constantCount + 2 <= kMaxConstants; ++i) {
    type.constants[type.constantCount++] = block.getFixed();
    type.constants[type.constantCount++] = block.getFixed();
  }
}

bool Measurement::constantsOffset(std::size_t& offset) const {
  switch (conversionType) {
    case kCalibrated: case kPiecewise: offset = 2; return true;
    case kOperation: case kOptionLine: offset = 3; return true;
    case kMultiInput:
      offset = 2 + 2 * static_cast<std::size_t>(type.storedInputCount());
      return type.operation == 8;
    default: return false;
  }
}

bool Measurement::decodeTypeBlock(int typeCode, const std::uint8_t* bytes, std::size_t length) {
  ByteReader block(bytes, length);
  rawBlock.clear();
  type.keptTail.clear();
  type.optionHighBits = 0;
  type.inputCount = 0;
  type.conversionType = typeCode;
  auto readConstants = [&](int count) {
    for (int i = 0; i < count && type.constantCount < kMaxConstants; ++i) {
      type.constants[type.constantCount++] = block.getFixed();
    }
  };
  switch (typeCode) {
    case kRawLong:
      type.sampleSize = 4;
      break;
    case kRawScaled:
    case kRawPlain:
      type.sampleSize = block.get8();
      break;
    case kCalibrated:
    case kOptionLine: {
      type.inputCount = 1;
      type.inputIds[0] = block.get16();
      if (typeCode == kOptionLine) {
        const int bits = block.get8();
        for (int i = 0; i < 4; ++i) type.optionFlags[i] = (bits >> i) & 1;
        type.optionHighBits = bits & 0xF0;
      }
      type.constantCount = 0;
      readConstants(4);
      break;
    }
    case kOperation:
      type.inputCount = 1;
      type.inputIds[0] = block.get16();
      type.operation = block.get8();
      type.constantCount = 0;
      readConstants(operationConstantCount(type.operation));
      break;
    case kPiecewise:
      decodePiecewise(block, length);
      break;
    case kText:
      block.getText8(type.text);
      break;
    case kMultiInput: {
      type.inputCount = block.get8();
      for (int i = 0; i < type.inputCount && i < kMaxInputs; ++i) type.inputIds[i] = block.get16();
      type.operation = block.get8();
      type.constantCount = 0;
      if (type.operation == 8) readConstants(4);
      break;
    }
    default:
      rawBlock.assign(bytes, bytes + length);
      return true;
  }
  if (block.overflowed()) return false;
  type.keptTail.assign(bytes + block.position(), bytes + length);
  return true;
}

std::size_t Measurement::blockSize(int typeCode) const {
  const std::size_t tail = type.keptTail.size();
  switch (typeCode) {
    case kRawLong: return tail;
    case kRawScaled:
    case kRawPlain: return 1 + tail;
    case kCalibrated: return 18 + tail;
    case kOptionLine: return 19 + tail;
    case kOperation: return 3 + 4 * static_cast<std::size_t>(type.constantCount) + tail;
    case kPiecewise: return 2 + 4 * static_cast<std::size_t>(type.constantCount) + tail;
    case kText: {
      const std::size_t room = type.text.capacity > 0 ? type.text.capacity - 1 : 0;
      return std::min(toCodePage(type.text.text).size(), room) + 1 + tail;
    }
    case kMultiInput:
      // Only the IDs that are kept are written, so the block stays readable.
      return 2 + 2 * static_cast<std::size_t>(type.storedInputCount()) +
             4 * static_cast<std::size_t>(type.constantCount) + tail;
    default: return rawBlock.size();
  }
}

bool Measurement::encodeTypeBlock(int typeCode, std::uint8_t* buffer, std::size_t capacity,
                                  std::size_t* outLength) const {
  ByteWriter block(buffer, capacity);
  auto writeConstants = [&](int count) {
    for (int i = 0; i < count && i < kMaxConstants; ++i) block.putFixed(type.constants[i]);
  };
  switch (typeCode) {
    case kRawScaled:
    case kRawPlain:
      block.put8(static_cast<std::uint32_t>(type.sampleSize));
      break;
    case kCalibrated:
    case kOptionLine: {
      block.put16(static_cast<std::uint32_t>(type.inputIds[0]));
      if (typeCode == kOptionLine) {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) {
          if (type.optionFlags[i] != 0) bits |= 1u << i;
        }
        block.put8(bits | (static_cast<std::uint32_t>(type.optionHighBits) & 0xF0));
      }
      writeConstants(4);
      break;
    }
    case kOperation:
      block.put16(static_cast<std::uint32_t>(type.inputIds[0]));
      block.put8(static_cast<std::uint32_t>(type.operation));
      writeConstants(type.constantCount);
      break;
    case kPiecewise:
      block.put16(static_cast<std::uint32_t>(type.inputIds[0]));
      writeConstants(type.constantCount);
      break;
    case kText:
      block.putText8(type.text);
      break;
    case kMultiInput:
      block.put8(static_cast<std::uint32_t>(type.inputCount));
      for (int i = 0; i < type.storedInputCount(); ++i) block.put16(static_cast<std::uint32_t>(type.inputIds[i]));
      block.put8(static_cast<std::uint32_t>(type.operation));
      writeConstants(type.constantCount);
      break;
    default:
      block.putBytes(rawBlock.data(), rawBlock.size());
      break;
  }
  if (typeCode >= kRawLong && typeCode <= kMultiInput) block.putBytes(type.keptTail.data(), type.keptTail.size());
  if (outLength != nullptr) *outLength = block.position();
  return !block.overflowed();
}

bool Measurement::encodeRecord(ByteWriter& writer) {
  writer.put16(id);
  writer.putText8(primaryText);
  writer.putText8(secondaryText);
  writer.put8(conversionType);
  const std::size_t size = blockSize(conversionType);
  blockLength = static_cast<std::uint8_t>(size);
  writer.put8(blockLength);
  // A block never exceeds 255 bytes: 16 inputs and 16 constants at the most.
  std::array<std::uint8_t, 255> scratch{};
  if (size > scratch.size() || !encodeTypeBlock(conversionType, scratch.data(), size)) return false;
  writer.putBytes(scratch.data(), size);
  writer.put8(flagByte());
  writer.putFixed(fixedValue);
  writer.put8(byteValues[0]);
  writer.put8(byteValues[1]);
  for (double value : fixedValues) writer.putFixed(value);
  return !writer.overflowed();
}

}  // namespace trimwell
