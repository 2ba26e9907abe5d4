#include "formats/scan_cursor.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c | 0x20) : c; }

// Does text continue with word (lower case), ignoring case? Advances past
// what matched either way, as the scan consumes it.
bool TakeWord(const char*& p, const char* word) {
  for (; *word; ++word) {
    if (*p == '\0' || Lower(*p) != *word) return false;
    ++p;
  }
  return true;
}

// strtod on exactly the characters the scan took, never past them.
bool ConvertTaken(const char* begin, const char* end, bool plainDecimal, double& out) {
  const std::size_t length = static_cast<std::size_t>(end - begin);
  if (plainDecimal) {
    const char* first = begin + (*begin == '+' ? 1 : 0);
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(first, end, value);
    if (ec == std::errc()) {
      out = value;
      return true;
    }
    if (ec == std::errc::invalid_argument) return false;
    // Out of range: strtod gives the infinity or the underflowed value.
  }
  char small[64];
  std::string large;
  char* text = small;
  if (length >= sizeof small) {
    large.assign(begin, length);
    text = large.data();
  } else {
    std::memcpy(small, begin, length);
    small[length] = '\0';
  }
  char* stop = nullptr;
  const double value = std::strtod(text, &stop);
  if (stop == text) return false;
  out = value;
  return true;
}

}  // namespace

bool ScanCursor::Literal(char c) {
  if (*m_p == '\0') return InputFailure();
  if (*m_p != c) return false;
  ++m_p;
  return true;
}

bool ScanCursor::Literals(const char* text) {
  for (; *text; ++text) {
    if (!Literal(*text)) return false;
  }
  return true;
}

bool ScanCursor::SkipChar() {
  if (*m_p == '\0') return InputFailure();
  ++m_p;
  return true;
}

bool ScanCursor::Char(char& out) {
  if (*m_p == '\0') return InputFailure();
  out = *m_p++;
  ++m_assigned;
  return true;
}

void ScanCursor::SkipSpace() {
  while (IsSpace(*m_p)) ++m_p;
}

bool ScanCursor::Int(int& out, int width) {
  SkipSpace();
  if (*m_p == '\0') return InputFailure();
  int left = width > 0 ? width : INT_MAX;
  bool negative = false;
  if (*m_p == '-' || *m_p == '+') {
    negative = *m_p == '-';
    ++m_p;
    --left;
  }
  // strtol's value, saturated to long, then cut to int as the scan stores it.
  unsigned long magnitude = 0;
  bool overflow = false;
  int digits = 0;
  for (; left > 0 && IsDigit(*m_p); --left, ++m_p, ++digits) {
    const unsigned long digit = static_cast<unsigned long>(*m_p - '0');
    unsigned long next;
    if (__builtin_mul_overflow(magnitude, 10ul, &next) || __builtin_add_overflow(next, digit, &next)) overflow = true;
    else magnitude = next;
  }
  if (digits == 0) return false;
  long value;
  if (negative) {
    const unsigned long limit = static_cast<unsigned long>(LONG_MAX) + 1;
    value = overflow || magnitude >= limit ? LONG_MIN : -static_cast<long>(magnitude);
  } else {
    value = overflow || magnitude > static_cast<unsigned long>(LONG_MAX) ? LONG_MAX : static_cast<long>(magnitude);
  }
  out = static_cast<int>(value);
  ++m_assigned;
  return true;
}

// The common case, digits with at most one point and no exponent, read in one
// pass. With at most 15 digits the digits are an exact integer and the power
// of ten is exact, so one division rounds as strtod does. Anything else is
// left (m_p unmoved) to the full reading.
bool ScanCursor::PlainDecimal(const char* begin, double& out) {
  static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8,
                                       1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = m_p;
  std::uint64_t digits = 0;
  int count = 0;
  int fraction = -1;
  for (;; ++p) {
    const char c = *p;
    if (IsDigit(c)) {
      digits = digits * 10 + static_cast<std::uint64_t>(c - '0');
      if (++count > 15) return false;
      if (fraction >= 0) ++fraction;
    } else if (c == '.' && fraction < 0) {
      fraction = 0;
    } else {
      break;
    }
  }
  // No digit, an exponent to come, or "0x": the full reading decides.
  const char next = Lower(*p);
  if (count == 0 || next == 'e' || (count == 1 && fraction < 0 && digits == 0 && next == 'x')) return false;
  double value = static_cast<double>(digits);
  if (fraction > 0) value /= kPowers[fraction];
  out = *begin == '-' ? -value : value;
  m_p = p;
  ++m_assigned;
  return true;
}

bool ScanCursor::Double(double& out) {
  SkipSpace();
  if (*m_p == '\0') return InputFailure();
  const char* begin = m_p;
  const bool sign = *m_p == '-' || *m_p == '+';
  if (sign) {
    ++m_p;
    if (*m_p == '\0') return false;
  }
  if (PlainDecimal(begin, out)) return true;
  const char lead = Lower(*m_p);
  if (lead == 'n' || lead == 'i') {
    if (lead == 'n') {
      if (!TakeWord(m_p, "nan")) return false;
    } else {
      if (!TakeWord(m_p, "inf")) return false;
      if (Lower(*m_p) == 'i' && !TakeWord(m_p, "inity")) return false;
    }
    if (!ConvertTaken(begin, m_p, false, out)) return false;
    ++m_assigned;
    return true;
  }
  bool hex = false;
  bool gotDigit = false;
  bool gotDot = false;
  bool gotExponent = false;
  char exponentChar = 'e';
  if (*m_p == '0') {
    ++m_p;
    // After "0x" a digit has still to come before an exponent.
    if (Lower(*m_p) == 'x') {
      ++m_p;
      hex = true;
      exponentChar = 'p';
    } else {
      gotDigit = true;
    }
  }
  for (;; ++m_p) {
    const char c = *m_p;
    if (IsDigit(c) || (hex && !gotExponent && IsHexDigit(c))) {
      gotDigit = true;
    } else if (gotExponent && Lower(m_p[-1]) == exponentChar && (c == '-' || c == '+')) {
    } else if (gotDigit && !gotExponent && Lower(c) == exponentChar) {
      gotExponent = gotDot = true;
    } else if (!gotDot && c == '.') {
      gotDot = true;
    } else {
      break;
    }
  }
  // Nothing but a sign, or a sign and "0x", is no number.
  const std::size_t taken = static_cast<std::size_t>(m_p - begin) - (sign ? 1 : 0);
  if (taken == 0 || (hex && taken == 2)) return false;
  if (!ConvertTaken(begin, m_p, !hex, out)) return false;
  ++m_assigned;
  return true;
}
