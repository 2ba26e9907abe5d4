#include "formats/nmea_0183.h"

#include "formats/nmea_heading.h"
#include "formats/nmea_navigation.h"
#include "formats/nmea_sentence.h"
#include "formats/nmea_sounder.h"

NYX_IMPLEMENT_DYNCREATE(CSD_NMEA0183, CDecode)

namespace {

constexpr SentenceDecoder kStandardSentences[] = {
    {"RMC", DecodeRmc}, {"GLL", DecodeGll}, {"VTG", DecodeVtg}, {"HDT", DecodeHdt},
    {"HDG", DecodeHdg}, {"DBT", DecodeDbt}, {"DPT", DecodeDpt}, {"MTW", DecodeMtw},
};

}  // namespace

// The own name holds "ZDA": a window looking for its GPS time port finds this one.
CSD_NMEA0183::CSD_NMEA0183() {
  m_name = "NMEA 0183 + ZDA";
  m_description = "position, time, course and speed, heading, depth, water temperature";
}

int CSD_NMEA0183::DecodeMsg(double time, std::string& msg, int bank) {
  NmeaSentence sentence(msg);
  if (sentence.GetForm() == NmeaSentence::Form::NotASentence) return kDecodeBad;
  const bool ggaOrZda = sentence.Type() == "GGA" || sentence.Type() == "ZDA";
  const SentenceDecoder* decoder = ggaOrZda ? nullptr : FindSentenceDecoder(sentence, kStandardSentences);
  if (!ggaOrZda && !decoder) return kDecodeForeign;
  if (sentence.GetForm() == NmeaSentence::Form::BadChecksum) return kDecodeBad;

  if (ggaOrZda) {
    // A ZDA synchronises through this decoder's port.
    m_ggaZda.m_pPort = m_pPort;
    return m_ggaZda.DecodeMsg(time, msg, bank) == kDecodeOk ? kDecodeOk : kDecodeForeign;
  }
  switch (decoder->decode(sentence, time, bank)) {
    case SentenceOutcome::Fix:
      return kDecodeOk;
    case SentenceOutcome::Malformed:
      return kDecodeBad;
    case SentenceOutcome::Reading:
    case SentenceOutcome::Nothing:
      break;
  }
  return kDecodeForeign;
}
