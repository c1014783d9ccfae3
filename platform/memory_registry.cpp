#include "platform/registry.h"

namespace trimwell {

bool MemoryRegistry::createKey(const std::string& path) {
  if (failAll) return false;
  keys_[path];
  return true;
}

bool MemoryRegistry::setDword(const std::string& path, const std::string& name, std::uint32_t value) {
  auto it = keys_.find(path);
  if (failAll || it == keys_.end()) return false;
  it->second.strings.erase(name);
  it->second.dwords[name] = value;
  return true;
}

bool MemoryRegistry::setString(const std::string& path, const std::string& name, const std::u16string& value) {
  auto it = keys_.find(path);
  if (failAll || it == keys_.end()) return false;
  it->second.dwords.erase(name);
  it->second.strings[name] = value;
  return true;
}

bool MemoryRegistry::queryDword(const std::string& path, const std::string& name, std::uint32_t& value) {
  auto it = keys_.find(path);
  if (failAll || it == keys_.end()) return false;
  auto v = it->second.dwords.find(name);
  if (v == it->second.dwords.end()) return false;
  value = v->second;
  return true;
}

bool MemoryRegistry::queryString(const std::string& path, const std::string& name, std::u16string& value) {
  auto it = keys_.find(path);
  if (failAll || it == keys_.end()) return false;
  auto v = it->second.strings.find(name);
  if (v == it->second.strings.end()) return false;
  value = v->second;
  return true;
}

}  // namespace trimwell
