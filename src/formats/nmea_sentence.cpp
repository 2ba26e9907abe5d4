#include "formats/nmea_sentence.h"

#include <charconv>
#include <cmath>

#include "port/codec.h"

namespace {

bool IsUpper(char ch) { return ch >= 'A' && ch <= 'Z'; }

// Two letters of talker, three of sentence type; a 'P' talker is a maker's
// proprietary sentence, which only shares the frame.
bool IsTalkerAddress(std::string_view address) {
  if (address.size() != 5 || address[0] == 'P') return false;
  for (const char ch : address) {
    if (!IsUpper(ch)) return false;
  }
  return true;
}

int HexDigit(char ch) {
  if (ch >= '0' && ch <= '9') return ch - '0';
  if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
  if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
  return -1;
}

bool ChecksumMatches(std::string_view body, std::string_view digits) {
  if (digits.size() != 2) return false;
  const int high = HexDigit(digits[0]);
  const int low = HexDigit(digits[1]);
  if (high < 0 || low < 0) return false;
  unsigned sum = 0;
  for (const char ch : body) sum ^= static_cast<unsigned char>(ch);
  return sum == static_cast<unsigned>(high * 16 + low);
}

}  // namespace

NmeaSentence::NmeaSentence(std::string_view msg) {
  while (!msg.empty() && (msg.back() == '\r' || msg.back() == '\n')) msg.remove_suffix(1);
  if (msg.empty() || (msg[0] != '$' && msg[0] != '!')) return;
  m_form = Form::Other;
  const std::size_t star = msg.find('*');
  const std::string_view body = msg.substr(1, star == std::string_view::npos ? std::string_view::npos : star - 1);
  const std::size_t comma = body.find(',');
  const std::string_view address = body.substr(0, comma);
  if (msg[0] != '$' || !IsTalkerAddress(address)) return;
  m_talker = address.substr(0, 2);
  m_type = address.substr(2);
  if (star != std::string_view::npos && !ChecksumMatches(body, msg.substr(star + 1))) {
    m_form = Form::BadChecksum;
    return;
  }
  for (std::size_t start = comma; start != std::string_view::npos;) {
    const std::size_t next = body.find(',', start + 1);
    m_fields.push_back(body.substr(start + 1, next == std::string_view::npos ? std::string_view::npos : next - start - 1));
    start = next;
  }
  m_form = Form::Ok;
}

std::string_view NmeaSentence::Field(std::size_t i) const {
  return i >= 1 && i <= m_fields.size() ? m_fields[i - 1] : std::string_view();
}

char NmeaSentence::Letter(std::size_t i) const {
  const std::string_view field = Field(i);
  return field.empty() ? '\0' : field[0];
}

std::optional<double> NmeaSentence::Number(std::size_t i) {
  std::string_view field = Field(i);
  if (field.empty()) return std::nullopt;
  if (field[0] == '+') field.remove_prefix(1);
  double value = 0.0;
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(value)) {
    m_malformed = true;
    return std::nullopt;
  }
  return value;
}

std::optional<double> NmeaSentence::Coordinate(std::size_t i, double maxDegrees, char positive, char negative) {
  const std::optional<double> value = Number(i);
  if (!value) return std::nullopt;
  const double degrees = std::floor(*value / 100.0);
  const double minutes = *value - degrees * 100.0;
  const char letter = Letter(i + 1);
  if (*value < 0.0 || minutes >= 60.0 || degrees + minutes / 60.0 > maxDegrees ||
      (letter != positive && letter != negative) || Field(i + 1).size() != 1) {
    m_malformed = true;
    return std::nullopt;
  }
  const double result = degrees + minutes / 60.0;
  return letter == negative ? -result : result;
}

std::optional<double> NmeaSentence::Latitude(std::size_t i) { return Coordinate(i, 90.0, 'N', 'S'); }

std::optional<double> NmeaSentence::Longitude(std::size_t i) { return Coordinate(i, 180.0, 'E', 'W'); }

std::optional<double> NmeaSentence::EastWest(std::size_t i) {
  const std::optional<double> value = Number(i);
  if (!value) return std::nullopt;
  const std::string_view letter = Field(i + 1);
  if (letter == "E") return *value;
  if (letter == "W") return -*value;
  m_malformed = true;
  return std::nullopt;
}

double NormalisedDegrees(double degrees) {
  double wrapped = std::fmod(degrees, 360.0);
  if (wrapped < 0.0) wrapped += 360.0;
  return wrapped >= 360.0 ? 0.0 : wrapped;
}

const SentenceDecoder* FindSentenceDecoder(const NmeaSentence& sentence, std::span<const SentenceDecoder> table) {
  for (const SentenceDecoder& row : table) {
    if (row.type == sentence.Type()) return &row;
  }
  return nullptr;
}

int DecodeSentencesOf(std::span<const SentenceDecoder> table, double time, std::string_view msg, int bank) {
  NmeaSentence sentence(msg);
  if (sentence.GetForm() == NmeaSentence::Form::NotASentence) return kDecodeBad;
  const SentenceDecoder* decoder = FindSentenceDecoder(sentence, table);
  if (!decoder) return kDecodeForeign;
  if (sentence.GetForm() == NmeaSentence::Form::BadChecksum) return kDecodeBad;
  switch (decoder->decode(sentence, time, bank)) {
    case SentenceOutcome::Fix:
    case SentenceOutcome::Reading:
      return kDecodeOk;
    case SentenceOutcome::Nothing:
      return kDecodeForeign;
    case SentenceOutcome::Malformed:
      break;
  }
  return kDecodeBad;
}
