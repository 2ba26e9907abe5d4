// One JSON object written straight into a reused text buffer, with no document
// built: keys in the order they are written, no spaces, numbers and text
// exactly as nlohmann-json's compact dump writes them (invalid UTF-8 replaced
// by U+FFFD), so lines written either way are the same bytes.
#pragma once

#include <string>
#include <string_view>

// A double as nlohmann-json writes it ("1.0", "0.1", "1e+20"); null when not finite.
void AppendJsonDouble(std::string& out, double value);
// A float by the shortest decimal that reads back as the same float, so 0.9f
// is written 0.9 rather than 0.8999999761581421; null when not finite.
void AppendJsonFloat(std::string& out, float value);
// A quoted, escaped JSON string.
void AppendJsonText(std::string& out, std::string_view text);
void AppendJsonInt(std::string& out, long long value);

class JsonLine {
 public:
  // Opens the object at the end of out.
  explicit JsonLine(std::string& out) : m_out(out) { m_out += '{'; }

  void Int(std::string_view key, long long value) { AppendJsonInt(Key(key), value); }
  void Double(std::string_view key, double value) { AppendJsonDouble(Key(key), value); }
  void Float(std::string_view key, float value) { AppendJsonFloat(Key(key), value); }
  void Text(std::string_view key, std::string_view value) { AppendJsonText(Key(key), value); }
  // A three-element array of doubles.
  void Vector(std::string_view key, double x, double y, double z);
  void Close() { m_out += '}'; }

 private:
  // Keys are our own ASCII names: written as they are.
  std::string& Key(std::string_view key) {
    if (!m_first) m_out += ',';
    m_first = false;
    m_out += '"';
    m_out += key;
    m_out += "\":";
    return m_out;
  }

  std::string& m_out;
  bool m_first = true;
};
