#include "signing/canonical_form.h"

#include <bit>
#include <cmath>

namespace trimwell::signing {

CanonicalWriter::CanonicalWriter(const std::string& form, int version) {
  text(form);
  integer(version);
}

void CanonicalWriter::length(std::size_t n) {
  for (int shift = 24; shift >= 0; shift -= 8) out_.push_back(static_cast<std::uint8_t>(n >> shift));
}

void CanonicalWriter::text(const std::string& value) {
  bytes(std::span(reinterpret_cast<const std::uint8_t*>(value.data()), value.size()));
}

void CanonicalWriter::bytes(std::span<const std::uint8_t> value) {
  length(value.size());
  out_.insert(out_.end(), value.begin(), value.end());
}

void CanonicalWriter::integer(long long value) {
  const auto bits = static_cast<std::uint64_t>(value);
  for (int shift = 56; shift >= 0; shift -= 8) out_.push_back(static_cast<std::uint8_t>(bits >> shift));
}

void CanonicalWriter::number(double value) {
  // Every NaN is the one NaN, and -0 is 0: a store may keep neither a NaN's payload
  // bits nor a zero's sign (SQLite keeps -0.0 as the integer 0).
  if (value == 0.0) value = 0.0;
  const std::uint64_t bits = std::isnan(value) ? 0x7ff8000000000000ULL : std::bit_cast<std::uint64_t>(value);
  integer(static_cast<long long>(bits));
}

}  // namespace trimwell::signing
