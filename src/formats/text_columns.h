// Character columns of a message. Fixed-column formats count characters, and a
// message holds UTF-8 (one character for each line byte), so columns are
// counted in code points, not bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace TextColumns {

// The code point that starts at 'pos' (< size), advancing 'pos' past it. A byte
// that does not start a well-formed sequence stands for itself.
inline char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  std::size_t extra = 0;
  char32_t value = lead;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    value = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    value = lead & 0x07u;
  }
  if (extra == 0 || pos + extra >= text.size()) {
    ++pos;
    return lead;
  }
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[pos + k]);
    if ((next & 0xC0) != 0x80) {
      ++pos;
      return lead;
    }
    value = (value << 6) | (next & 0x3Fu);
  }
  pos += extra + 1;
  return value;
}

// Characters in the text.
inline std::size_t CharCount(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t pos = 0; pos < text.size(); ++count) NextCodePoint(text, pos);
  return count;
}

// Byte offset of character 'column' (the size when past the end).
inline std::size_t ByteOffset(std::string_view text, std::size_t column) {
  std::size_t pos = 0;
  for (std::size_t c = 0; c < column && pos < text.size(); ++c) NextCodePoint(text, pos);
  return pos;
}

// Up to 'count' characters from column 'first'.
inline std::string Columns(std::string_view text, std::size_t first, std::size_t count) {
  const std::string_view rest = text.substr(ByteOffset(text, first));
  return std::string(rest.substr(0, ByteOffset(rest, count)));
}

}  // namespace TextColumns
