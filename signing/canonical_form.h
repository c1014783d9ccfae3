#pragma once
// The bytes a content hash is taken over. Every value is written in a fixed order,
// each with its length, so that no two different contents give the same bytes:
//   text, bytes   a 4-byte big-endian length, then the bytes (text as UTF-8)
//   integer       8 bytes, big-endian two's complement
//   number        the IEEE 754 double's 8 bytes, big-endian (every NaN as
//                 0x7ff8000000000000, -0 as 0)
//   count         as an integer, before the items of a list
// docs/canonical-form.md gives the fields of each form, so that anyone can
// recompute a hash from a record as printed.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace trimwell::signing {

class CanonicalWriter {
 public:
  // The form's name and version open it: a form that changes gets a new version.
  CanonicalWriter(const std::string& form, int version);
  void text(const std::string& value);
  void bytes(std::span<const std::uint8_t> value);
  void integer(long long value);
  void number(double value);
  void count(std::size_t items) { integer(static_cast<long long>(items)); }
  const std::vector<std::uint8_t>& written() const { return out_; }

 private:
  void length(std::size_t n);
  std::vector<std::uint8_t> out_;
};

}  // namespace trimwell::signing
