#include "platform/format_text.h"

#include <cstdio>

namespace trimwell {

std::string formatTextV(const char* format, std::va_list args) {
  char buffer[kTextBufferSize];
  const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
  if (written < 0) return {};
  return buffer;
}

std::string formatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = formatTextV(format, args);
  va_end(args);
  return text;
}

}  // namespace trimwell
