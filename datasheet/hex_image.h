#pragma once
// Firmware images in Intel HEX or Motorola S-record text form.
//
// A file may start with a 14-byte "Version-MMmm.." header; its name may carry a
// version ("_vMMmm"), in which case the newest versioned file next to it is taken;
// and a missing file may be assembled from banked part files (".h03" to ".h06").

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace trimwell {

enum HexError : int {
  kHexOk = 0,
  kHexFileMissing = 1,
  kHexBadLine = 2,
  kHexPartsDisagree = 14,
};

struct HexRecord {
  bool intel = true;      // ':' record, else S-record
  int type = 0;           // Intel record type, or the S-record's digit
  std::uint32_t address = 0;
  int count = 0;          // data bytes
  std::array<std::uint8_t, 255> data{};
  // Whether the record's own checksum matches; the loader does not need it to copy
  // the data, but a firmware update must not send a damaged record.
  bool checksumOk = true;
  bool endRecord = false;  // Intel type 1, or S7, S8, S9
};

// Something wrong with a firmware file that still loads: flashing it could leave the
// interface without working firmware.
struct HexFinding {
  std::string file;
  int line = 0;  // 1 = the file's first line; 0 = the file as a whole
  std::string problem;
};

std::string describeFinding(const HexFinding& finding);

// False when the line is not a valid record (see the loader for what counts).
bool parseLine(std::string_view line, HexRecord& record);

// Version in a "_vMMmm" name suffix as MM x 65536 + mm, or 0.
std::uint32_t nameVersion(std::string_view fileName);
// Version in the file's "Version-MMmm" header, or 0 (also when it cannot be opened).
// A file shorter than the header reads its missing bytes as 0.
std::uint32_t headerVersion(const std::string& path);
// The path to load: the newest "_vMMmm" sibling when it is newer than the header says.
std::string chooseNewest(const std::string& path);

class HexImage {
 public:
  // Enough to tell what is wrong with a file without keeping a note per line of it.
  static constexpr std::size_t kMaxFindings = 16;
  static constexpr std::uint32_t kDefaultWindow = 0x30000;

  bool loadImage(const std::string& path, std::uint32_t start, std::uint32_t length);
  // Reads the records of one file that fall in [start, start + length) into buffer.
  bool readWindow(const std::string& path, std::uint8_t* buffer, std::uint32_t start,
                  std::uint32_t length, std::uint32_t& loaded);
  // The same over an open stream positioned at the first record, which is line
  // firstLine of the file named path.
  bool readRecords(std::FILE* file, const std::string& path, int firstLine, std::uint8_t* buffer,
                   std::uint32_t start, std::uint32_t length, std::uint32_t& loaded);

  int error = kHexOk;
  std::uint32_t loadedLength = 0;
  std::uint32_t windowStart = 0;
  std::uint32_t windowLength = kDefaultWindow;
  std::uint8_t partFlags = 0;
  std::vector<std::uint8_t> buffer;
  std::string chosenPath;
  // What a careful reader would refuse: bad record checksums, a missing end record,
  // records after the blank line or the end record that ended the image, lines that
  // are no record.
  std::vector<HexFinding> findings;

 private:
  bool loadBanked(const std::string& name);
  void noteLinesAfterEnd(std::FILE* file, const std::string& path, int& lineNumber, const std::string& endedBy);
};

}  // namespace trimwell
