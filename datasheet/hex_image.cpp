#include "datasheet/hex_image.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace trimwell {
namespace {

// Lines are read whole, whatever their length; only this much of one is kept, more
// than the longest record (255 data bytes) needs.
constexpr std::size_t kKeptLine = 1024;
constexpr char kVersionTag[] = "Version-";
constexpr std::size_t kHeaderLength = 14;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `digits` hex digits at text[at]; false when any is missing or not a digit.
bool hexField(std::string_view text, std::size_t at, int digits, std::uint32_t& value) {
  if (at + static_cast<std::size_t>(digits) > text.size()) return false;
  value = 0;
  for (int i = 0; i < digits; ++i) {
    const int d = hexDigit(text[at + static_cast<std::size_t>(i)]);
    if (d < 0) return false;
    value = (value << 4) | static_cast<std::uint32_t>(d);
  }
  return true;
}

bool readData(std::string_view line, std::size_t at, HexRecord& record) {
  if (record.count < 0 || static_cast<std::size_t>(record.count) > record.data.size()) return false;
  for (int i = 0; i < record.count; ++i) {
    std::uint32_t byte = 0;
    if (!hexField(line, at + 2 * static_cast<std::size_t>(i), 2, byte)) return false;
    record.data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(byte);
  }
  return true;
}

bool parseIntel(std::string_view line, HexRecord& record) {
  std::uint32_t count = 0, address = 0, type = 0;
  if (!hexField(line, 1, 2, count) || !hexField(line, 3, 4, address) || !hexField(line, 7, 2, type)) return false;
  record.intel = true;
  record.count = static_cast<int>(count);
  record.address = address;
  record.type = static_cast<int>(type);
  // Two characters (the checksum) must follow the data.
  if (line.size() < 11 || count > (line.size() - 11) / 2) return false;
  if (!readData(line, 9, record)) return false;
  record.endRecord = record.type == 1;
  // The bytes from the count to the checksum add up to 0 modulo 256.
  std::uint32_t checksum = 0;
  std::uint32_t sum = count + (address >> 8) + address + type;
  for (int i = 0; i < record.count; ++i) sum += record.data[static_cast<std::size_t>(i)];
  record.checksumOk = hexField(line, 9 + 2 * count, 2, checksum) && ((sum + checksum) & 0xFF) == 0;
  return true;
}

bool parseSRecord(std::string_view line, HexRecord& record) {
  record.intel = false;
  record.type = line[1] - '0';
  record.endRecord = record.type >= 7;
  if (record.type < 1 || record.type > 3) return true;  // other S-records are not read
  std::uint32_t count = 0, address = 0;
  const int addressDigits = 2 * (record.type + 1);
  if (!hexField(line, 2, 2, count) || !hexField(line, 4, addressDigits, address)) return false;
  record.address = address;
  record.count = static_cast<int>(count) - (record.type + 1) - 1;
  const std::size_t dataAt = 2 * static_cast<std::size_t>(record.type) + 6;
  const std::size_t prefix = 2 * static_cast<std::size_t>(record.type) + 8;
  if (record.count < 0 || line.size() < prefix ||
      static_cast<std::size_t>(record.count) > (line.size() - prefix) / 2) {
    return false;
  }
  if (!readData(line, dataAt, record)) return false;
  // The checksum is the complement of the low byte of the sum from the count on.
  std::uint32_t sum = count;
  for (int shift = 0; shift < 8 * (record.type + 1); shift += 8) sum += (address >> shift) & 0xFF;
  for (int i = 0; i < record.count; ++i) sum += record.data[static_cast<std::size_t>(i)];
  std::uint32_t checksum = 0;
  record.checksumOk = hexField(line, dataAt + 2 * static_cast<std::size_t>(record.count), 2, checksum) &&
                      ((~sum) & 0xFF) == checksum;
  return true;
}

bool startsAsBlank(std::string_view line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\r' || line[0] == '\n');
}

bool holdsText(std::string_view line) { return line.find_first_not_of(" \t\r\n") != std::string_view::npos; }

// One line with its line end, however long; false at the end of the file.
bool readLine(std::FILE* file, std::string& line) {
  line.clear();
  char piece[256];
  while (std::fgets(piece, sizeof piece, file) != nullptr) {
    const std::size_t n = std::strlen(piece);
    if (line.size() < kKeptLine) line.append(piece, std::min(n, kKeptLine - line.size()));
    if (n > 0 && piece[n - 1] == '\n') return true;
  }
  return !line.empty();
}

bool isRegularFile(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);  // a FIFO would block the open, a folder reads as nothing
}

struct Header {
  std::uint32_t version = 0;
  std::size_t length = 0;  // bytes before the first record
};

// The "Version-MMmm" header and where the records start: the header is 14 bytes,
// or 13 when its line ends in a lone line feed (the two digits' line end would
// otherwise swallow the first record's colon).
Header readHeader(const std::string& path) {
  Header result;
  if (!isRegularFile(path)) return result;
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) return result;
  char header[kHeaderLength] = {};  // missing bytes of a short file read as 0
  (void)std::fread(header, 1, kHeaderLength, file.get());
  if (std::memcmp(header, kVersionTag, 8) != 0) return result;
  std::uint32_t version[2] = {0, 0};
  for (int part = 0; part < 2; ++part) {
    for (int i = 0; i < 2; ++i) {
      const char c = header[8 + 2 * part + i];
      if (c < '0' || c > '9') return result;
      version[part] = version[part] * 10 + static_cast<std::uint32_t>(c - '0');
    }
  }
  result.version = version[0] * 65536 + version[1];
  const bool crlf = header[12] == '\r' && header[13] == '\n';
  const bool loneEnd = !crlf && (header[12] == '\n' || header[12] == '\r');
  result.length = loneEnd ? kHeaderLength - 1 : kHeaderLength;
  return result;
}

void splitPath(const std::string& path, std::string& folder, std::string& base, std::string& extension) {
  const std::size_t slash = path.find_last_of("/\\");
  folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = file.find_last_of('.');
  base = dot == std::string::npos ? file : file.substr(0, dot);
  extension = dot == std::string::npos ? std::string() : file.substr(dot);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

struct Sibling {
  std::uint32_t version = 0;
  std::string name;  // as it stands in the folder: the match ignores case, the open does not
};

// The newest of folder/base_v????extension, matched as the platform's
// case-insensitive wildcard search would. Of two names with the same version the
// one first in name order is taken, so the choice does not depend on the folder's order.
Sibling newestSibling(const std::string& folder, const std::string& base, const std::string& extension) {
  namespace fs = std::filesystem;
  Sibling newest;
  std::error_code ec;
  const std::string prefix = base + "_v";
  for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() != prefix.size() + 4 + extension.size()) continue;
    if (!equalsIgnoringCase(std::string_view(name).substr(0, prefix.size()), prefix)) continue;
    if (!equalsIgnoringCase(std::string_view(name).substr(name.size() - extension.size()), extension)) continue;
    const std::uint32_t version = nameVersion(name);
    if (version > newest.version || (version == newest.version && version != 0 && name < newest.name)) {
      newest = {version, name};
    }
  }
  return newest;
}

}  // namespace

bool parseLine(std::string_view line, HexRecord& record) {
  record = HexRecord{};
  if (line.empty()) return false;
  if (line[0] == ':') return parseIntel(line, record);
  if (line[0] == 'S' && line.size() > 1 && line[1] >= '0' && line[1] <= '9') return parseSRecord(line, record);
  return false;
}

std::uint32_t nameVersion(std::string_view name) {
  const std::size_t underscore = name.find_last_of('_');
  if (underscore == std::string_view::npos || name.size() - underscore - 1 < 5) return 0;
  const char v = name[underscore + 1];
  if (v != 'v' && v != 'V') return 0;
  std::uint32_t number = 0;
  for (std::size_t i = underscore + 2; i < underscore + 6; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    number = number * 10 + static_cast<std::uint32_t>(name[i] - '0');
  }
  return (number / 100) * 65536 + number % 100;
}

std::uint32_t headerVersion(const std::string& path) { return readHeader(path).version; }

std::string describeFinding(const HexFinding& finding) {
  if (finding.line == 0) return finding.file + ": " + finding.problem;
  return finding.file + " line " + std::to_string(finding.line) + ": " + finding.problem;
}

std::string chooseNewest(const std::string& path) {
  std::string folder, base, extension;
  splitPath(path, folder, base, extension);
  if (nameVersion(base + extension) != 0) return path;
  if (base.empty()) return path;
  const Sibling newest = newestSibling(folder, base, extension);
  if (headerVersion(path) >= newest.version) return path;
  return folder + newest.name;
}

// What follows the line that ended the image is never loaded, but a firmware update
// must know that part of the file was left out: the first line that holds text is
// noted, worded after what ended the image.
void HexImage::noteLinesAfterEnd(std::FILE* file, const std::string& path, int& lineNumber,
                                 const std::string& endedBy) {
  std::string line;
  while (readLine(file, line)) {
    ++lineNumber;
    if (!holdsText(line)) continue;
    if (findings.size() < kMaxFindings) {
      findings.push_back({path, lineNumber, "records follow the " + endedBy + " and were not read"});
    }
    return;
  }
}

bool HexImage::readRecords(std::FILE* file, const std::string& path, int firstLine, std::uint8_t* out,
                           std::uint32_t start, std::uint32_t length, std::uint32_t& loaded) {
  auto note = [&](int line, std::string problem) {
    if (findings.size() < kMaxFindings) findings.push_back({path, line, std::move(problem)});
  };
  std::string line;
  int lineNumber = firstLine - 1;
  int lastRecordLine = 0;
  std::uint32_t extendedAddress = 0;
  while (readLine(file, line)) {
    ++lineNumber;
    HexRecord record;
    if (!parseLine(line, record)) {
      if (startsAsBlank(line)) {
        noteLinesAfterEnd(file, path, lineNumber, "blank line " + std::to_string(lineNumber));
        break;
      }
      error = kHexBadLine;
      note(lineNumber, "is not a valid record");
      return false;
    }
    lastRecordLine = lineNumber;
    if (!record.checksumOk) note(lineNumber, "the record checksum is wrong");
    if (record.endRecord) {
      // The first end record ends the image: data after it would otherwise land
      // over what the file already gave.
      noteLinesAfterEnd(file, path, lineNumber, "end record at line " + std::to_string(lineNumber));
      return true;
    }
    // Type 04 sets the upper 16 bits of the address, type 02 a segment (its value
    // times 16); each replaces the base the other set.
    if (record.intel && (record.type == 4 || record.type == 2)) {
      const auto value = record.count >= 2 ? static_cast<std::uint32_t>(record.data[0] << 8 | record.data[1]) : 0u;
      extendedAddress = record.type == 4 ? value << 16 : value << 4;
      continue;
    }
    const bool data = record.intel ? record.type == 0 : (record.type >= 1 && record.type <= 3);
    if (!data) continue;
    const std::uint64_t address = static_cast<std::uint64_t>(record.address) + (record.intel ? extendedAddress : 0);
    const std::uint64_t endAddress = address + static_cast<std::uint64_t>(record.count);
    if (address < start || endAddress > static_cast<std::uint64_t>(start) + length) continue;
    std::memcpy(out + (address - start), record.data.data(), static_cast<std::size_t>(record.count));
    loaded = std::max(loaded, static_cast<std::uint32_t>(endAddress - start));
  }
  note(lastRecordLine, "no end record follows: the file may be cut short");
  return true;
}

bool HexImage::readWindow(const std::string& path, std::uint8_t* out, std::uint32_t start, std::uint32_t length,
                          std::uint32_t& loaded) {
  loaded = 0;
  const Header header = readHeader(path);
  File file(isRegularFile(path) ? std::fopen(path.c_str(), "rb") : nullptr);
  if (!file) {
    error = kHexFileMissing;
    return false;
  }
  if (header.version != 0) std::fseek(file.get(), static_cast<long>(header.length), SEEK_SET);
  return readRecords(file.get(), path, header.version != 0 ? 2 : 1, out, start, length, loaded);
}

bool HexImage::loadBanked(const std::string& name) {
  constexpr std::uint32_t kPartSize = 0x10000;
  constexpr std::uint32_t kCommon = 0xC000;
  constexpr std::uint32_t kBank = 0x4000;
  const std::string stem = name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string();
  std::vector<std::uint8_t> part(kPartSize + 256);
  std::vector<std::uint8_t> common;
  for (int p = 3; p <= 6; ++p) {
    const std::uint32_t bankOffset = kCommon + static_cast<std::uint32_t>(p - 3) * kBank;
    std::fill(part.begin(), part.end(), 0xFF);
    char suffix[8];
    std::snprintf(suffix, sizeof suffix, ".h%02d", p);
    error = kHexOk;
    std::uint32_t partLoaded = 0;
    if (!readWindow(stem + suffix, part.data(), 0, kPartSize, partLoaded)) {
      if (error == kHexFileMissing) continue;
      return false;
    }
    // A caller's window smaller than the banked layout only takes what fits.
    auto copyInto = [&](std::uint32_t at, std::uint32_t from, std::uint32_t count) {
      if (at >= windowLength) return;
      count = std::min(count, windowLength - at);
      std::memcpy(buffer.data() + at, part.data() + from, count);
    };
    if (!common.empty()) {
      if (!std::equal(part.begin(), part.begin() + kCommon, common.begin())) {
        error = kHexPartsDisagree;
        return false;
      }
    } else {
      common.assign(part.begin(), part.begin() + kCommon);
      copyInto(0, 0, kCommon);
    }
    copyInto(bankOffset, kCommon, kBank);
    partFlags |= static_cast<std::uint8_t>(1u << p);
    // Never report more than the window holds: callers send buffer[0, loadedLength).
    loadedLength = std::min(bankOffset + kBank, windowLength);
  }
  if ((partFlags & 0x08) == 0) {
    error = kHexFileMissing;
    return false;
  }
  error = kHexOk;
  partFlags |= 0x07;
  return true;
}

bool HexImage::loadImage(const std::string& path, std::uint32_t start, std::uint32_t length) {
  chosenPath = chooseNewest(path);
  findings.clear();
  partFlags = 0;
  error = kHexOk;
  loadedLength = 0;
  windowStart = start;
  windowLength = length;
  buffer.assign(static_cast<std::size_t>(length) + 256, 0);
  readWindow(chosenPath, buffer.data(), start, length, loadedLength);
  if (error == kHexOk) partFlags = 0x0F;
  if (error == kHexFileMissing) return loadBanked(chosenPath);
  return error == kHexOk;
}

}  // namespace trimwell
