// trimwell-sds: look into and make datasheet image files.
//
//   trimwell-sds dump FILE                  print the decoded image as JSON
//   trimwell-sds build SOURCE.json -o FILE  encode an image from the JSON form
//   ... build SOURCE.json -o FILE --invalid  the same for an image meant not to decode
//                                           (a damaged datasheet for tests)

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "datasheet/datasheet_library.h"
#include "platform/program_options.h"
#include "tools/sds_json.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: trimwell-sds dump FILE\n"
    "       trimwell-sds build SOURCE.json -o FILE.sds [--invalid]\n"
    "Looks into and makes datasheet image files.\n"
    "  dump FILE     print the decoded image as JSON (exit 1 when it does not decode)\n"
    "  build SOURCE  encode an image from its JSON form; --invalid for an image meant\n"
    "                not to decode (a damaged datasheet for tests)";

int usage() {
  std::cerr << kUsage << "\n";
  return kExitUsage;
}

int dump(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!trimwell::readFileBytes(path, bytes)) {
    std::cerr << "trimwell-sds: cannot read " << path << "\n";
    return kExitUsage;
  }
  trimwell::Datasheet datasheet;
  const bool decoded = datasheet.decode(bytes.data(), bytes.size());
  std::cout << trimwell::datasheetToJson(datasheet).dump(2) << "\n";
  return decoded ? kExitOk : kExitFailed;
}

int build(const std::string& sourcePath, const std::string& outPath, bool meantInvalid) {
  std::ifstream in(sourcePath);
  if (!in) {
    std::cerr << "trimwell-sds: cannot read " << sourcePath << "\n";
    return kExitUsage;
  }
  std::stringstream text;
  text << in.rdbuf();
  const nlohmann::json source = nlohmann::json::parse(text.str(), nullptr, false);
  if (source.is_discarded()) {
    std::cerr << "trimwell-sds: " << sourcePath << " is not valid JSON\n";
    return kExitFailed;
  }
  trimwell::Datasheet datasheet;
  std::string error;
  if (!trimwell::datasheetFromJson(source, datasheet, error)) {
    std::cerr << "trimwell-sds: " << sourcePath << ": " << error << "\n";
    return kExitFailed;
  }
  std::vector<std::uint8_t> image(trimwell::kMaxImageLength);
  std::size_t length = 0;
  if (!datasheet.encode(image.data(), image.size(), &length)) {
    std::fprintf(stderr, "trimwell-sds: %s: the image does not encode (status 0x%08x)\n", sourcePath.c_str(),
                 static_cast<unsigned>(datasheet.status));
    return kExitFailed;
  }
  // What is written must be what a station reads: an image that encodes but does not
  // decode (a missing lengthLimit, say) is no datasheet file.
  trimwell::Datasheet check;
  const bool decodes = check.decode(image.data(), length);
  if (!decodes && !meantInvalid) {
    std::fprintf(stderr, "trimwell-sds: %s: the encoded image does not decode (status 0x%08x)\n",
                 sourcePath.c_str(), static_cast<unsigned>(check.status));
    return kExitFailed;
  }
  if (decodes && meantInvalid) {
    std::fprintf(stderr, "trimwell-sds: %s: the image was meant not to decode, but it does\n", sourcePath.c_str());
    return kExitFailed;
  }
  std::ofstream out(outPath, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(length));
  if (!out.flush()) {
    std::cerr << "trimwell-sds: cannot write " << outPath << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (trimwell::answerHelpOrVersion(argc, argv, "trimwell-sds", kUsage, std::cout)) return kExitOk;
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == "dump") return dump(args[1]);
  if (args.size() == 4 && args[0] == "build" && args[2] == "-o") return build(args[1], args[3], false);
  if (args.size() == 5 && args[0] == "build" && args[2] == "-o" && args[4] == "--invalid") {
    return build(args[1], args[3], true);
  }
  return usage();
}
