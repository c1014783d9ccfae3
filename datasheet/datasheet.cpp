#include "datasheet/datasheet.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace trimwell {

int announcedImageLength(const std::uint8_t* header) {
  const int base = header[4] | header[5] << 8;
  const int extended = header[6] | header[7] << 8;
  return std::max(base + (extended >= 4 ? extended : 0), 8);
}

std::string Datasheet::versionString() const {
  std::string text;
  for (std::uint8_t ch : versionText) {
    if (ch == 0) break;
    text += static_cast<char>(ch);
  }
  return text;
}

std::uint32_t Datasheet::version() const {
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  bool afterPoint = false;
  for (std::uint8_t ch : versionText) {
    if (ch >= '0' && ch <= '9') {
      std::uint32_t& part = afterPoint ? minor : major;
      part = part * 10 + (ch - '0');
    } else if (ch == '.') {
      afterPoint = true;
    }
  }
  return major * 65536 + minor;
}

Measurement* Datasheet::findMeasurement(int id) const {
  for (int i = 0; i < measurementCount && i < kMaxMeasurements; ++i) {
    Measurement* m = table[static_cast<std::size_t>(i)];
    if (m != nullptr && m->id == id) return m;
  }
  return nullptr;
}

Measurement& Datasheet::newMeasurement() {
  if (storage_.capacity() < kMaxMeasurements) storage_.reserve(kMaxMeasurements);
  return storage_.emplace_back(this, &textStorage_);
}

Measurement& Datasheet::addMeasurement() {
  auto slot = std::find(table.begin(), table.end(), nullptr);
  // A full table has no room: the last measurement is handed back rather than the
  // storage moved under the others.
  if (slot == table.end() || storage_.size() >= kMaxMeasurements) return *table.back();
  readOrder_ = false;  // a record the image did not have: the encoder's own order
  *slot = &newMeasurement();
  measurementCount = static_cast<std::uint16_t>(slot - table.begin() + 1);
  return **slot;
}

void Datasheet::clearMeasurements() {
  table.fill(nullptr);
  storage_.clear();
  readOrder_ = false;
}

void Datasheet::decodeHeader(ByteReader& reader) {
  sensorId = static_cast<std::uint16_t>(reader.get16());
  lengthLimit = static_cast<std::uint16_t>(reader.get16());
  baseLength = static_cast<std::uint16_t>(reader.get16());
  extendedLength = static_cast<std::uint16_t>(reader.get16());
  reservedWord = static_cast<std::uint16_t>(reader.get16());
  reader.getBytes(versionText.data(), versionText.size());
  std::array<std::uint8_t, 10> header{};
  reader.getBytes(header.data(), header.size());
  headerBytes_ = header;
  const auto headerLength = static_cast<std::size_t>(std::find(header.begin(), header.end(), 0) - header.begin());
  headerText.text = fromCodePage(std::string_view(reinterpret_cast<const char*>(header.data()), headerLength));
  measurementCount = static_cast<std::uint16_t>(reader.get16());
  reader.getBytes(identity.data(), identity.size());
  reader.getText8(name);
  for (std::uint32_t& word : carriedWords) word = static_cast<std::uint32_t>(reader.get32());
}

// A stable insertion sort: at most 32 records, no allocation, and records with
// equal IDs keep their order so that an image encodes the same way every time.
void Datasheet::sortTable() {
  const auto count = std::min<std::size_t>(measurementCount, kMaxMeasurements);
  auto before = [](const Measurement* a, const Measurement* b) {
    if (a == nullptr || b == nullptr) return a != nullptr && b == nullptr;
    return a->id < b->id;
  };
  for (std::size_t i = 1; i < count; ++i) {
    for (std::size_t j = i; j > 0 && before(table[j], table[j - 1]); --j) std::swap(table[j], table[j - 1]);
  }
}

// After the decoder's sort the table is in ID order: a lookup halves it each step
// instead of walking it, which the extended sections do once per measurement. They
// list the measurements in table order, so the slot after the last one found is
// tried first.
Measurement* Datasheet::findSorted(int id, std::size_t& hint) const {
  const auto count = std::min<std::size_t>(measurementCount, kMaxMeasurements);
  if (hint < count && table[hint] != nullptr && table[hint]->id == id &&
      (hint == 0 || table[hint - 1] == nullptr || table[hint - 1]->id != id)) {
    return table[hint++];
  }
  const auto first = table.begin();
  const auto last = first + static_cast<long>(count);
  const auto at = std::lower_bound(first, last, id, [](const Measurement* m, int wanted) {
    return m != nullptr && m->id < wanted;
  });
  if (at == last || *at == nullptr || (*at)->id != id) return nullptr;
  hint = static_cast<std::size_t>(at - first) + 1;
  return *at;
}

void Datasheet::linkMeasurements() {
  std::size_t hint = 0;
  for (auto& m : table) {
    if (!m) continue;
    m->type.source = nullptr;
    switch (m->conversionType) {
      case kCalibrated: case kOperation: case kPiecewise: case kOptionLine:
        m->type.source = findSorted(m->type.inputIds[0], hint);
        break;
      default:
        break;
    }
  }
}

// Everything an image sets, back to a fresh datasheet's values: a decode into a
// datasheet that held another image must leave nothing of it behind.
void Datasheet::reset() {
  sensorId = lengthLimit = baseLength = extendedLength = reservedWord = 0;
  versionText = {};
  measurementCount = 0;
  identity = {};
  extensionValue = 0;
  carriedWords = {};
  clearMeasurements();
  entries.clear();
  imageAsRead_.clear();
  recordStart_ = {};
  headerBytes_ = {};
  extendedDecoded_ = extendedKept_ = false;
  sections_.clear();
  keptExtended_.clear();
  // The old image's texts go, each made anew over the storage, then their memory
  // goes at once: re-decoding never grows it.
  for (TextValue* value : {&headerText, &name, &extensionText}) {
    std::destroy_at(&value->text);
    std::construct_at(&value->text, &textStorage_);
  }
  textStorage_.release();
}

bool Datasheet::decode(const std::uint8_t* buffer, std::size_t length) {
  reset();
  status = kDatasheetOk;
  ByteReader reader(buffer, length);
  decodeHeader(reader);
  if (baseLength > kMaxImageLength || baseLength > lengthLimit) {
    status = kBaseLengthTooLarge;
    return false;
  }
  if (measurementCount > kMaxMeasurements) {
    status = kTooManyMeasurements;
    return false;
  }
  if (reader.overflowed()) {
    status = kImageOverflow;
    return false;
  }
  for (int i = 0; i < measurementCount; ++i) {
    auto& slot = table[static_cast<std::size_t>(i)];
    recordStart_[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(reader.position());
    slot = &newMeasurement();
    if (!slot->decodeRecord(reader)) {
      status = kImageOverflow;
      return false;
    }
  }
  recordStart_[measurementCount] = static_cast<std::uint16_t>(reader.position());
  readOrder_ = true;
  sortTable();
  const std::size_t checksumAt = reader.position();
  const auto stored = static_cast<std::uint32_t>(reader.get32());
  if (reader.overflowed()) {
    status = kChecksumOutOfRange;
    return false;
  }
  if (stored != imageChecksum(buffer, checksumAt)) {
    status = kChecksumMismatch;
    return false;
  }
  if (baseLength != static_cast<std::uint16_t>(reader.position())) {
    status = kBaseLengthMismatch;
    return false;
  }
  if (version() >= 0x20000 && extendedLength > 4) {
    decodeExtendedPart(reader);
    extendedDecoded_ = true;
  } else {
    // An extended part this station does not read goes back as it came.
    extendedKept_ = true;
    if (extendedLength >= 4) {
      const std::size_t kept = std::min<std::size_t>(extendedLength, length - reader.position());
      keptExtended_.assign(reader.current(), reader.current() + kept);
      reader.skip(kept);
    }
  }
  linkMeasurements();
  if (status == kDatasheetOk && reader.overflowed()) status = kImageOverflow;
  if (status != kDatasheetOk) return false;
  if (extendedDecoded_) markCanonicalSections(buffer);
  imageAsRead_.assign(buffer, buffer + reader.position());
  return true;
}

// A section is written anew from its fields only when that gives back the bytes read
// (so that a change to its texts goes in); any other is written as it was read: a
// section of an unknown kind, one naming a measurement the image lacks or leaving one
// out, a list entry whose reserved bytes are set.
void Datasheet::markCanonicalSections(const std::uint8_t* image) {
  std::vector<std::uint8_t> scratch;
  for (KeptSection& kept : sections_) {
    kept.asRead = true;
    if (kept.type < 1 || kept.type > 3) continue;
    scratch.assign(kept.bytes.size() + 3, 0);
    ByteWriter writer(scratch.data(), scratch.size());
    encodeSection(writer, kept.type);
    kept.asRead = writer.overflowed() || writer.position() != scratch.size() ||
                  !std::equal(scratch.begin(), scratch.end(), image + kept.offset);
  }
}

std::vector<std::uint8_t> Datasheet::imageWithConstants() const {
  std::vector<std::uint8_t> image = imageAsRead_;
  if (image.size() < baseLength || baseLength < 4) return {};
  ByteWriter writer(image.data(), baseLength - 4);
  for (const Measurement& m : storage_) {
    std::size_t offset = 0;
    if (!m.constantsOffset(offset)) continue;
    const std::size_t count = static_cast<std::size_t>(std::clamp(m.type.constantCount, 0, kMaxConstants));
    // Only constants that lie inside the block as read: a shorter one has fewer.
    for (std::size_t k = 0; k < count && offset + 4 * (k + 1) <= m.blockLength; ++k) {
      writer.put32(static_cast<std::uint32_t>(toFixed(m.type.constants[k])),
                   static_cast<long>(m.blockOffset + offset + 4 * k));
    }
  }
  const std::uint32_t sum = imageChecksum(image.data(), baseLength - 4u);
  for (std::size_t i = 0; i < 4; ++i) image[baseLength - 4u + i] = static_cast<std::uint8_t>(sum >> (8 * i));
  return image;
}

std::string Datasheet::partAt(std::size_t offset) const {
  const auto count = std::min<std::size_t>(storage_.size(), measurementCount);
  if (offset < recordStart_[0]) return "the header";
  for (std::size_t i = 0; i < count; ++i) {
    if (offset < recordStart_[i + 1]) return "measurement " + std::to_string(storage_[i].id);
  }
  if (offset < baseLength) return "the base checksum";
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const KeptSection& kept = sections_[i];
    if (offset >= kept.offset && offset < kept.offset + 3 + kept.bytes.size()) {
      return "extended section " + std::to_string(i + 1) + " (kind " + std::to_string(kept.type) + ")";
    }
  }
  if (offset < imageAsRead_.size()) return "the extended part";
  return "the end of the image";
}

void Datasheet::decodeSection(ByteReader& reader, int sectionType, std::size_t sectionEnd) {
  std::size_t hint = 0;
  switch (sectionType) {
    case 1: {
      entries.clear();
      const std::size_t count = (sectionEnd - reader.position()) / 18;
      while (!reader.overflowed() && reader.position() < sectionEnd && entries.size() < count) {
        const auto first = static_cast<std::uint8_t>(reader.get8());
        const auto second = static_cast<std::uint8_t>(reader.get8());
        reader.skip(16);
        if (!reader.overflowed()) entries.emplace_back(first, second);
      }
      break;
    }
    case 2:
      extensionValue = static_cast<std::uint16_t>(reader.get16());
      reader.getText16(extensionText);
      while (!reader.overflowed() && reader.position() < sectionEnd) {
        if (Measurement* m = findSorted(reader.get16(), hint)) {
          for (TextValue& text : m->wideExtensionTexts) reader.getText16(text);
        }
      }
      break;
    case 3:
      while (!reader.overflowed() && reader.position() < sectionEnd) {
        if (Measurement* m = findSorted(reader.get16(), hint)) reader.getText8(m->extensionText);
      }
      break;
    default:
      reader.skip(sectionEnd - reader.position());
      break;
  }
}

void Datasheet::decodeExtendedPart(ByteReader& reader) {
  const std::size_t start = reader.position();
  const std::size_t checksumAt = start + extendedLength - 4;
  while (reader.position() != checksumAt) {
    const int sectionType = reader.get8() & 0xFF;
    const auto sectionLength = static_cast<std::size_t>(reader.get16());
    const std::size_t sectionEnd = reader.position() + sectionLength;
    // A section reaching into the checksum cannot be right: stop here rather than
    // read the checksum and what follows as further sections.
    if (reader.overflowed() || sectionEnd > checksumAt) {
      status = kImageOverflow;
      return;
    }
    KeptSection& kept = sections_.emplace_back();
    kept.type = sectionType;
    kept.offset = reader.position() - 3;
    // A section cut by the end of the buffer fails below; only a whole one is kept.
    if (reader.fits(sectionLength)) kept.bytes.assign(reader.current(), reader.current() + sectionLength);
    decodeSection(reader, sectionType, sectionEnd);
    if (reader.position() != sectionEnd || reader.overflowed()) {
      // The image is bad either way; an intact reader goes on with the next section
      // so that the texts still readable are kept.
      status = kImageOverflow;
      if (reader.overflowed()) return;
    }
  }
  if (status != kDatasheetOk) return;
  const auto stored = static_cast<std::uint32_t>(reader.get32());
  if (reader.overflowed()) {
    status = kChecksumOutOfRange;
    return;
  }
  if (stored != imageChecksum(reader.start() + start, checksumAt - start)) status = kChecksumMismatch;
}

void Datasheet::encodeHeader(ByteWriter& writer) const {
  writer.put16(sensorId);
  writer.put16(lengthLimit);
  writer.put16(baseLength);
  writer.put16(extendedLength);
  writer.put16(reservedWord);
  writer.putBytes(versionText.data(), versionText.size());
  // The ten bytes as read when the text is still theirs: what follows its terminator
  // goes back too.
  const auto readLength = static_cast<std::size_t>(std::find(headerBytes_.begin(), headerBytes_.end(), 0) -
                                                   headerBytes_.begin());
  const std::u16string asRead =
      fromCodePage(std::string_view(reinterpret_cast<const char*>(headerBytes_.data()), readLength));
  std::array<std::uint8_t, 10> header{};
  if (std::u16string_view(headerText.text) == std::u16string_view(asRead)) {
    header = headerBytes_;
  } else {
    const std::string bytes = toCodePage(headerText.text);
    std::memcpy(header.data(), bytes.data(), std::min(bytes.size(), header.size()));
  }
  writer.putBytes(header.data(), header.size());
  writer.put16(measurementCount);
  writer.putBytes(identity.data(), identity.size());
  writer.putText8(name);
  for (std::uint32_t word : carriedWords) writer.put32(word);
}

void Datasheet::encodeSection(ByteWriter& writer, int sectionType) {
  const auto count = std::min<std::size_t>(measurementCount, kMaxMeasurements);
  writer.put8(static_cast<std::uint32_t>(sectionType));
  const std::size_t lengthAt = writer.position();
  writer.put16(0);
  switch (sectionType) {
    case 3:
      for (std::size_t i = 0; i < count; ++i) {
        writer.put16(table[i]->id);
        writer.putText8(table[i]->extensionText);
      }
      break;
    case 2:
      writer.put16(extensionValue);
      writer.putText16(extensionText);
      for (std::size_t i = 0; i < count; ++i) {
        writer.put16(table[i]->id);
        for (const TextValue& text : table[i]->wideExtensionTexts) writer.putText16(text);
      }
      break;
    case 1: {
      static constexpr std::array<std::uint8_t, 16> kReserved{};
      for (const auto& [first, second] : entries) {
        writer.put8(first);
        writer.put8(second);
        writer.putBytes(kReserved.data(), kReserved.size());
      }
      break;
    }
    default:
      break;
  }
  writer.put16(static_cast<std::uint32_t>(writer.position() - lengthAt - 2), static_cast<long>(lengthAt));
}

void Datasheet::encodeExtendedPart(ByteWriter& writer) {
  const std::size_t start = writer.position();
  if (extendedDecoded_) {
    // The sections of the image as read, in its order.
    for (const KeptSection& kept : sections_) {
      if (!kept.asRead) {
        encodeSection(writer, kept.type);
        continue;
      }
      writer.put8(static_cast<std::uint32_t>(kept.type));
      writer.put16(static_cast<std::uint32_t>(kept.bytes.size()));
      writer.putBytes(kept.bytes.data(), kept.bytes.size());
    }
  } else {
    encodeSection(writer, 3);
    encodeSection(writer, 2);
    if (!entries.empty()) encodeSection(writer, 1);
  }
  if (!writer.overflowed()) writer.put16(static_cast<std::uint32_t>(writer.position() - start + 4), 6);
  writer.put32(imageChecksum(writer.start() + start, writer.position() - start));
}

// In the order the image had them when nothing was added since its decode; else in
// ID order.
void Datasheet::encodeRecords(ByteWriter& writer) {
  sortTable();
  const bool asRead = readOrder_ && storage_.size() == measurementCount;
  for (int i = 0; i < measurementCount; ++i) {
    Measurement* m = asRead ? &storage_[static_cast<std::size_t>(i)] : table[static_cast<std::size_t>(i)];
    if (m == nullptr || !m->encodeRecord(writer)) {
      status = kImageOverflow;
      return;
    }
  }
}

bool Datasheet::encode(std::uint8_t* buffer, std::size_t capacity, std::size_t* outLength) {
  status = kDatasheetOk;
  ByteWriter writer(buffer, capacity);
  encodeHeader(writer);
  if (measurementCount > kMaxMeasurements) {
    status = kTooManyMeasurements;
    return false;
  }
  encodeRecords(writer);
  if (status != kDatasheetOk) return false;
  if (!writer.overflowed()) writer.put16(static_cast<std::uint32_t>(writer.position() + 4), 4);
  const std::size_t checksumAt = writer.position();
  writer.put32(0);
  if (!writer.overflowed() && extendedKept_) {
    writer.putBytes(keptExtended_.data(), keptExtended_.size());
  } else if (!writer.overflowed() && version() >= 0x20000) {
    encodeExtendedPart(writer);
  }
  writer.put32(imageChecksum(buffer, checksumAt), static_cast<long>(checksumAt));
  if (outLength != nullptr) *outLength = writer.position();
  if (writer.overflowed()) status = kImageOverflow;
  return status == kDatasheetOk;
}

}  // namespace trimwell
