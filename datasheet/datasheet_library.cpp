#include "datasheet/datasheet_library.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace trimwell {
namespace fs = std::filesystem;

bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes, std::size_t maxBytes) {
  std::error_code ec;
  // Only regular files: a folder opens but reads as nothing sensible, and a FIFO
  // or a device would block the open for good.
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  const auto wanted = std::min(static_cast<std::uintmax_t>(size), static_cast<std::uintmax_t>(maxBytes));
  bytes.assign(static_cast<std::size_t>(wanted), 0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(wanted));
  return static_cast<std::uintmax_t>(in.gcount()) == wanted;
}

namespace {

bool hasDatasheetExtension(const std::string& name) {
  if (name.size() <= 4) return false;
  std::string extension = name.substr(name.size() - 4);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".sds";
}

std::vector<std::string> datasheetFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (hasDatasheetExtension(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The file's first two bytes as a sensor ID (missing bytes read as 0), or -1 when
// it is not a regular file that opens.
int leadingSensorId(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return -1;
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  unsigned char head[2] = {0, 0};
  in.read(reinterpret_cast<char*>(head), 2);
  return head[0] | (head[1] << 8);
}

}  // namespace

bool DatasheetLibrary::loadForSensor(int sensorId, Datasheet& datasheet) {
  usedFile_.clear();
  for (const std::string& name : datasheetFiles(folder_)) {
    const std::string path = folder_ + "/" + name;
    const int fileId = leadingSensorId(path);
    if (fileId <= 0 || fileId != sensorId) continue;
    usedFile_ = path;
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(path, bytes, kMaxImageFileLength)) return false;
    return datasheet.decode(bytes.data(), bytes.size());
  }
  return false;
}

}  // namespace trimwell
