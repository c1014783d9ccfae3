// trimwell-hex: load a firmware file as the station would and show the result.
//
//   trimwell-hex FILE [--start ADDR] [--length N] [-o OUT.bin]
//
// It prints what the loader read, as JSON; "findings" lists what would stop a
// firmware update from sending the file (bad record checksums, a missing end
// record, records after a blank line or after the end record).

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include <cstdio>

#include "datasheet/hex_image.h"
#include "platform/program_options.h"

namespace {

bool parseNumber(const std::string& text, std::uint32_t& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const int base = text.size() > 2 && (text[1] == 'x' || text[1] == 'X') && text[0] == '0' ? 16 : 10;
  const unsigned long long value = std::strtoull(text.c_str() + (base == 16 ? 2 : 0), &end, base);
  if (*end != '\0' || value > 0xFFFFFFFFull || text[0] == '-') return false;
  out = static_cast<std::uint32_t>(value);
  return true;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

constexpr const char* kUsage =
    "usage: trimwell-hex FILE [--start ADDR] [--length N] [-o OUT.bin]\n"
    "Loads a firmware file as the station would and prints what it read as JSON;\n"
    "\"findings\" lists what would stop a firmware update from sending it.\n"
    "  --start ADDR  first address of the window to load (0x... or decimal)\n"
    "  --length N    length of the window\n"
    "  -o OUT.bin    also write the loaded bytes";

int usage() {
  std::cerr << kUsage << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (trimwell::answerHelpOrVersion(argc, argv, "trimwell-hex", kUsage, std::cout)) return 0;
  std::string path, outPath;
  std::uint32_t start = 0, length = trimwell::HexImage::kDefaultWindow;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--start" && hasValue) {
      if (!parseNumber(argv[++i], start)) return usage();
    } else if (arg == "--length" && hasValue) {
      if (!parseNumber(argv[++i], length)) return usage();
    } else if (arg == "-o" && hasValue) {
      outPath = argv[++i];
    } else if (path.empty() && !arg.empty() && arg[0] != '-') {
      path = arg;
    } else {
      return usage();
    }
  }
  if (path.empty()) return usage();

  trimwell::HexImage image;
  image.loadImage(path, start, length);
  std::cout << "{\"path\": " << jsonString(image.chosenPath) << ", \"error\": " << image.error
            << ", \"loadedLength\": " << image.loadedLength << ", \"partFlags\": " << int{image.partFlags}
            << ", \"findings\": [";
  for (std::size_t i = 0; i < image.findings.size(); ++i) {
    const trimwell::HexFinding& f = image.findings[i];
    std::cout << (i == 0 ? "" : ", ") << "{\"file\": " << jsonString(f.file) << ", \"line\": " << f.line
              << ", \"problem\": " << jsonString(f.problem) << "}";
  }
  std::cout << "]}\n";
  if (!outPath.empty() && image.error == trimwell::kHexOk) {
    std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.buffer.data()), image.loadedLength);
    if (!out.flush()) {
      std::cerr << "trimwell-hex: cannot write " << outPath << "\n";
      return 1;
    }
  }
  return image.error == trimwell::kHexOk ? 0 : 1;
}
