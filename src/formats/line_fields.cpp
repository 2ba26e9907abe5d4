#include "formats/line_fields.h"

#include <cstdio>

#include "host/ansi_text.h"

std::string LineCharacters(const std::string& msg) {
  for (const char ch : msg) {
    if (static_cast<unsigned char>(ch) >= 0x80) return Ansi::FromUtf8(msg);
  }
  return msg;
}

bool ScanDouble(const std::string& text, std::size_t pos, std::size_t count, double& value) {
  if (pos > text.size()) return false;
  const std::string field = text.substr(pos, count);
  return std::sscanf(field.c_str(), "%lf", &value) == 1;
}
