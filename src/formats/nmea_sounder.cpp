#include "formats/nmea_sounder.h"

#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_NMEA_Depth, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_NMEA_MTW, CDecode)

namespace {

constexpr double kMetresPerFoot = 0.3048;
constexpr double kMetresPerFathom = 1.8288;

SentenceOutcome SendDepth(double metres, double time, int bank) {
  CSnsrAlt record;
  record.Stamp(time, bank);
  record.m_depth = static_cast<float>(metres);
  CNyxWnd::SnsrMsg(kSnsrAlt, &record);
  return SentenceOutcome::Reading;
}

constexpr SentenceDecoder kDepths[] = {{"DBT", DecodeDbt}, {"DPT", DecodeDpt}};
constexpr SentenceDecoder kTemperatures[] = {{"MTW", DecodeMtw}};

}  // namespace

SentenceOutcome DecodeDbt(NmeaSentence& sentence, double time, int bank) {
  const std::optional<double> feet = sentence.Number(1);
  const std::optional<double> metres = sentence.Number(3);
  const std::optional<double> fathoms = sentence.Number(5);
  if (sentence.Malformed()) return SentenceOutcome::Malformed;
  if (metres) return SendDepth(*metres, time, bank);
  if (feet) return SendDepth(*feet * kMetresPerFoot, time, bank);
  if (fathoms) return SendDepth(*fathoms * kMetresPerFathom, time, bank);
  return SentenceOutcome::Nothing;
}

SentenceOutcome DecodeDpt(NmeaSentence& sentence, double time, int bank) {
  const std::optional<double> metres = sentence.Number(1);
  if (sentence.Malformed()) return SentenceOutcome::Malformed;
  return metres ? SendDepth(*metres, time, bank) : SentenceOutcome::Nothing;
}

SentenceOutcome DecodeMtw(NmeaSentence& sentence, double time, int bank) {
  const std::optional<double> celsius = sentence.Number(1);
  const std::string_view unit = sentence.Field(2);
  if (sentence.Malformed() || (!unit.empty() && unit != "C")) return SentenceOutcome::Malformed;
  if (!celsius) return SentenceOutcome::Nothing;
  CSnsrTmp record;
  record.Stamp(time, bank);
  record.m_temperature = static_cast<float>(*celsius);
  CNyxWnd::SnsrMsg(kSnsrTmp, &record);
  return SentenceOutcome::Reading;
}

CSD_NMEA_Depth::CSD_NMEA_Depth() {
  m_name = "NMEA Depth";
  m_description = "depth below the transducer in m";
}

int CSD_NMEA_Depth::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeSentencesOf(kDepths, time, msg, bank);
}

CSD_NMEA_MTW::CSD_NMEA_MTW() {
  m_name = "NMEA MTW";
  m_description = "water temperature in degrees C";
}

int CSD_NMEA_MTW::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeSentencesOf(kTemperatures, time, msg, bank);
}
