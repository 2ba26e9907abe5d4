// Standard NMEA 0183 sentences of any talker: the address, the fields and the
// checksum, read once so that every sentence decoder works on typed fields.
//   $SDDBT,7.7,f,2.3,M,1.3,F*05
//   '$', talker (two letters), sentence type (three letters), comma-separated
//   fields, then optionally '*' and two hex digits: the XOR of every byte
//   between '$' and '*'
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

class NmeaSentence {
 public:
  enum class Form {
    NotASentence,  // not even a '$' or '!' line
    Other,         // a sentence without a talker address (proprietary, encapsulated)
    BadChecksum,   // a talker sentence whose checksum is present and wrong
    Ok,
  };

  // A CR or LF at the end of the message is ignored.
  explicit NmeaSentence(std::string_view msg);

  Form GetForm() const { return m_form; }
  // "RMC" for "$GPRMC,..."; empty unless the sentence has a talker address.
  std::string_view Type() const { return m_type; }
  std::string_view Talker() const { return m_talker; }

  // Field i, counted from 1 after the address; empty when the sentence is shorter.
  std::string_view Field(std::size_t i) const;
  std::size_t FieldCount() const { return m_fields.size(); }
  // First character of field i, 0 when it is empty.
  char Letter(std::size_t i) const;

  // Field i as a number; nullopt when empty. A field that holds anything but a
  // finite number marks the sentence malformed.
  std::optional<double> Number(std::size_t i);
  // Latitude (ddmm.mmmm with N or S) or longitude (dddmm.mmmm with E or W)
  // from a value field and the letter field after it, in degrees, south and
  // west negative; nullopt when the value is empty. A missing or foreign
  // letter, or minutes of 60 and more, mark the sentence malformed.
  std::optional<double> Latitude(std::size_t i);
  std::optional<double> Longitude(std::size_t i);
  // A value field and its E or W letter field, east positive (variation,
  // deviation); nullopt when the value is empty.
  std::optional<double> EastWest(std::size_t i);

  // Marks the sentence malformed (a decoder found a field it cannot use).
  void SetMalformed() { m_malformed = true; }
  bool Malformed() const { return m_malformed; }

 private:
  std::optional<double> Coordinate(std::size_t i, double maxDegrees, char positive, char negative);

  Form m_form = Form::NotASentence;
  std::string_view m_talker;
  std::string_view m_type;
  std::vector<std::string_view> m_fields;
  bool m_malformed = false;
};

// An angle in degrees brought into [0, 360).
double NormalisedDegrees(double degrees);

// What one sentence gave the host.
enum class SentenceOutcome {
  Fix,        // a position (with whatever else the sentence carried)
  Reading,    // records, but no position
  Nothing,    // a sentence of the right type without data (no fix, empty fields)
  Malformed,  // no record
};

struct SentenceDecoder {
  std::string_view type;  // "RMC"
  SentenceOutcome (*decode)(NmeaSentence& sentence, double time, int bank);
};

// The decoder of the sentence's type from the table, or null.
const SentenceDecoder* FindSentenceDecoder(const NmeaSentence& sentence, std::span<const SentenceDecoder> table);

// DecodeMsg of a decoder of a few sentence types: records given 1, a sentence
// of another type or one of these without data -1, a malformed one 0.
int DecodeSentencesOf(std::span<const SentenceDecoder> table, double time, std::string_view msg, int bank);
