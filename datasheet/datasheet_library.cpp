#include "datasheet/datasheet_library.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace trimwell {
namespace fs = std::filesystem;

bool readFileBytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;  // a folder opens, but reads as nothing sensible
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0, std::ios::beg);
  bytes.assign(static_cast<std::size_t>(size), 0);
  in.read(reinterpret_cast<char*>(bytes.data()), size);
  return static_cast<std::streamoff>(in.gcount()) == size;
}

namespace {

std::vector<std::string> datasheetFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".sds") == 0) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

int leadingSensorId(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return -1;
  unsigned char head[2] = {0, 0};
  in.read(reinterpret_cast<char*>(head), 2);
  return head[0] | (head[1] << 8);
}

}  // namespace

bool DatasheetLibrary::loadForSensor(int sensorId, Datasheet& datasheet) const {
  for (const std::string& name : datasheetFiles(folder_)) {
    const std::string path = folder_ + "/" + name;
    const int fileId = leadingSensorId(path);
    if (fileId <= 0 || fileId != sensorId) continue;
    std::vector<std::uint8_t> bytes;
    if (!readFileBytes(path, bytes)) return false;
    return datasheet.decode(bytes.data(), bytes.size());
  }
  return false;
}

}  // namespace trimwell
