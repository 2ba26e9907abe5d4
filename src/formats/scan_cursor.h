// Reads a text field by field the way sscanf's conversions read it (C
// locale), for the sentence layouts that are defined by a scan pattern: the
// same fields, the same characters consumed and the same return value, at a
// fraction of sscanf's cost. The text ends at its first NUL.
//
//   ScanCursor in(text);
//   in.Literals("$GPGGA,") && in.Double(utc) && in.Literal(',') && in.Char(letter);
//   return in.Result();
#pragma once

class ScanCursor {
 public:
  explicit ScanCursor(const char* text) : m_p(text) {}

  // Each returns false when the scan stops: a character that does not match,
  // or the end of the text (an input failure).
  bool Literal(char c);
  bool Literals(const char* text);
  bool SkipChar();  // %*c
  bool Char(char& out);  // %c
  // %d, or %Nd with a width: white space skipped, then sign and digits.
  bool Int(int& out, int width = 0);
  // %lf: white space skipped, then a decimal or hexadecimal number, inf or nan.
  bool Double(double& out);

  // sscanf's return value: the fields assigned, or -1 when the text ended
  // before the first was.
  int Result() const { return m_inputFailed && m_assigned == 0 ? -1 : m_assigned; }

 private:
  bool InputFailure() {
    m_inputFailed = true;
    return false;
  }
  void SkipSpace();
  bool PlainDecimal(const char* begin, double& out);

  const char* m_p;
  int m_assigned = 0;
  bool m_inputFailed = false;
};
