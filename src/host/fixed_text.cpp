#include "host/fixed_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr std::uint64_t kPowers[] = {1,         10,         100,         1000,         10000,
                                     100000,    1000000,    10000000,    100000000,    1000000000};

char* Digits(char* out, std::uint64_t value, int width) {
  char text[24];
  char* end = text + sizeof text;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (end - p < width) *--p = '0';
  std::memcpy(out, p, static_cast<std::size_t>(end - p));
  return out + (end - p);
}

}  // namespace

char* FormatFixed(char* out, double value, int precision) {
  // Beyond 2^53 (or not finite, or an odd precision) the general conversion,
  // which is exact as well.
  if (!std::isfinite(value) || std::fabs(value) >= 9007199254740992.0 || precision < 0 || precision > 9) {
    return std::to_chars(out, out + 400, value, std::chars_format::fixed, precision).ptr;
  }
  if (std::signbit(value)) *out++ = '-';
  int exponent = 0;
  const double fraction = std::frexp(std::fabs(value), &exponent);
  // |value| = mantissa * 2^(exponent - 53), mantissa an integer below 2^53.
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  const int shift = 53 - exponent;
  const std::uint64_t scale = kPowers[precision];
  unsigned __int128 scaled = 0;
  if (shift <= 0) {
    scaled = static_cast<unsigned __int128>(mantissa << -shift) * scale;
  } else if (shift < 120) {
    const unsigned __int128 product = static_cast<unsigned __int128>(mantissa) * scale;
    scaled = product >> shift;
    const unsigned __int128 rest = product - (scaled << shift);
    const unsigned __int128 half = static_cast<unsigned __int128>(1) << (shift - 1);
    if (rest > half || (rest == half && (scaled & 1) != 0)) ++scaled;
  }
  // Far below the last digit the product is under half a unit: zero.
  const auto whole = static_cast<std::uint64_t>(scaled / scale);
  const auto part = static_cast<std::uint64_t>(scaled % scale);
  out = Digits(out, whole, 1);
  if (precision > 0) {
    *out++ = '.';
    out = Digits(out, part, precision);
  }
  return out;
}
