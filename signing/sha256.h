#pragma once
// SHA-256 (FIPS 180-4), for the content hashes of records and the audit trail's
// chain. Small and dependency-free: every store, tool and test computes the same
// digest from the same bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace trimwell::signing {

using Digest = std::array<std::uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void add(std::span<const std::uint8_t> bytes);
  void add(const std::string& text);
  // The digest of everything added; the object is spent after it.
  Digest finish();

 private:
  void block(const std::uint8_t* data);
  std::array<std::uint32_t, 8> state_;
  std::array<std::uint8_t, 64> pending_{};
  std::size_t pendingLength_ = 0;
  std::uint64_t totalLength_ = 0;
};

Digest sha256(std::span<const std::uint8_t> bytes);
// Lower-case hex, 64 digits.
std::string hexDigest(const Digest& digest);
std::string sha256Hex(std::span<const std::uint8_t> bytes);

}  // namespace trimwell::signing
