#include "host/json_line.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

#include <nlohmann/json.hpp>

void AppendJsonDouble(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  // nlohmann-json's own digit generator (Grisu2): it is not always the
  // shortest text (7.694771999999999e+20), and the lines must not change.
  char text[64];
  const char* end = nlohmann::detail::to_chars(text, text + sizeof text, value);
  out.append(text, static_cast<std::size_t>(end - text));
}

void AppendJsonFloat(std::string& out, float value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  double shortest = 0.0;
  std::from_chars(text, result.ptr, shortest);
  AppendJsonDouble(out, shortest);
}

void AppendJsonInt(std::string& out, long long value) {
  char text[24];
  const auto result = std::to_chars(text, text + sizeof text, value);
  out.append(text, result.ptr);
}

namespace {

// Length of the well-formed UTF-8 sequence a lead byte starts and the range
// its second byte must fall in (which rules out overlong forms, surrogates and
// code points above U+10FFFF); length 0 for a byte that cannot lead.
struct Utf8Lead {
  std::uint8_t length;
  std::uint8_t low;
  std::uint8_t high;
};

constexpr Utf8Lead LeadOf(std::uint8_t byte) {
  if (byte < 0x80) return {1, 0, 0};
  if (byte < 0xC2) return {0, 0, 0};
  if (byte < 0xE0) return {2, 0x80, 0xBF};
  if (byte == 0xE0) return {3, 0xA0, 0xBF};
  if (byte == 0xED) return {3, 0x80, 0x9F};
  if (byte < 0xF0) return {3, 0x80, 0xBF};
  if (byte == 0xF0) return {4, 0x90, 0xBF};
  if (byte < 0xF4) return {4, 0x80, 0xBF};
  if (byte == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";
constexpr char kHex[] = "0123456789abcdef";

// True for bytes that need no look: printable ASCII other than " and \.
constexpr bool IsPlain(std::uint8_t byte) { return byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\'; }

// The same as a table: one load per byte of a text.
constexpr auto kPlain = [] {
  std::array<bool, 256> table{};
  for (int byte = 0; byte < 256; ++byte) table[static_cast<std::size_t>(byte)] = IsPlain(static_cast<std::uint8_t>(byte));
  return table;
}();

bool Plain(std::uint8_t byte) { return kPlain[byte]; }

void AppendEscaped(std::string& out, std::uint8_t byte) {
  switch (byte) {
    case '\b': out += "\\b"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\f': out += "\\f"; return;
    case '\r': out += "\\r"; return;
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    default: break;
  }
  if (byte < 0x20) {
    const char escape[6] = {'\\', 'u', '0', '0', kHex[byte >> 4], kHex[byte & 0xF]};
    out.append(escape, sizeof escape);
  } else {
    out += static_cast<char>(byte);
  }
}

}  // namespace

void AppendJsonText(std::string& out, std::string_view text) {
  out += '"';
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    // Runs of plain bytes are copied in one go.
    std::size_t run = i;
    while (run < size && Plain(bytes[run])) ++run;
    if (run > i) {
      out.append(text.data() + i, run - i);
      i = run;
      continue;
    }
    const Utf8Lead lead = LeadOf(bytes[i]);
    if (lead.length == 1) {
      AppendEscaped(out, bytes[i++]);
      continue;
    }
    if (lead.length == 0) {
      // A byte that cannot start a character is replaced on its own.
      out += kReplacement;
      ++i;
      continue;
    }
    // A multi-byte character: copied whole, or, at the first byte that does
    // not fit, replaced by one U+FFFD with that byte read again.
    std::size_t next = i + 1;
    bool whole = true;
    for (std::size_t k = 1; k < lead.length; ++k, ++next) {
      const std::uint8_t low = k == 1 ? lead.low : 0x80;
      const std::uint8_t high = k == 1 ? lead.high : 0xBF;
      if (next >= size || bytes[next] < low || bytes[next] > high) {
        whole = false;
        break;
      }
    }
    if (whole) {
      out.append(text.data() + i, lead.length);
    } else {
      out += kReplacement;
    }
    i = next;
  }
  out += '"';
}

void JsonLine::Vector(std::string_view key, double x, double y, double z) {
  std::string& out = Key(key);
  out += '[';
  AppendJsonDouble(out, x);
  out += ',';
  AppendJsonDouble(out, y);
  out += ',';
  AppendJsonDouble(out, z);
  out += ']';
}
