#include "host/ansi_text.h"

#include <array>
#include <cstdint>
#include <cstring>

namespace Ansi {
namespace {

// Code points of the Windows-1252 bytes 0x80..0x9F.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t CodePoint(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

char ToAnsi(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

unsigned char WideLowByte(unsigned char ansiByte) { return static_cast<unsigned char>(CodePoint(ansiByte) & 0xFF); }

std::string ToUtf8(const unsigned char* bytes, std::size_t count) {
  std::string out;
  ToUtf8(bytes, count, out);
  return out;
}

void ToUtf8(const unsigned char* bytes, std::size_t count, std::string& out) {
  out.clear();
  out.reserve(count);
  std::size_t i = 0;
  while (i < count) {
    // ASCII is the same in both: runs of it are copied whole.
    std::size_t run = i;
    for (std::uint64_t word; run + 8 <= count; run += 8) {
      std::memcpy(&word, bytes + run, 8);
      if (word & 0x8080808080808080ull) break;
    }
    while (run < count && bytes[run] < 0x80) ++run;
    out.append(reinterpret_cast<const char*>(bytes + i), run - i);
    if (run == count) break;
    AppendUtf8(out, CodePoint(bytes[run]));
    i = run + 1;
  }
}

std::string ToUtf8(std::string_view ansi) {
  return ToUtf8(reinterpret_cast<const unsigned char*>(ansi.data()), ansi.size());
}

std::string FromUtf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    const int extra = (lead >> 5) == 0x6 ? 1 : (lead >> 4) == 0xE ? 2 : (lead >> 3) == 0x1E ? 3 : 0;
    char32_t cp = lead & (0x3F >> extra);
    bool valid = extra > 0 && i + extra < utf8.size();
    for (int k = 1; valid && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      cp = (cp << 6) | (next & 0x3F);
    }
    if (!valid) {
      out.push_back('?');
      ++i;
      continue;
    }
    out.push_back(ToAnsi(cp));
    i += extra + 1;
  }
  return out;
}

}  // namespace Ansi
