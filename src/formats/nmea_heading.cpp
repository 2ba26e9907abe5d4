#include "formats/nmea_heading.h"

#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_NMEA_Heading, CDecode)

namespace {

SentenceOutcome SendHeading(double heading, double time, int bank) {
  CSnsrGyro record;
  record.Stamp(time, bank);
  record.m_heading = static_cast<float>(NormalisedDegrees(heading));
  CNyxWnd::SnsrMsg(kSnsrGyro, &record);
  return SentenceOutcome::Reading;
}

constexpr SentenceDecoder kHeadings[] = {{"HDT", DecodeHdt}, {"HDG", DecodeHdg}};

}  // namespace

SentenceOutcome DecodeHdt(NmeaSentence& sentence, double time, int bank) {
  const std::optional<double> heading = sentence.Number(1);
  if (sentence.Malformed()) return SentenceOutcome::Malformed;
  return heading ? SendHeading(*heading, time, bank) : SentenceOutcome::Nothing;
}

SentenceOutcome DecodeHdg(NmeaSentence& sentence, double time, int bank) {
  const std::optional<double> heading = sentence.Number(1);
  const std::optional<double> deviation = sentence.EastWest(2);
  const std::optional<double> variation = sentence.EastWest(4);
  if (sentence.Malformed()) return SentenceOutcome::Malformed;
  // Without the variation the sensor's heading cannot be turned into a true one.
  if (!heading || !variation) return SentenceOutcome::Nothing;
  return SendHeading(*heading + deviation.value_or(0.0) + *variation, time, bank);
}

CSD_NMEA_Heading::CSD_NMEA_Heading() {
  m_name = "NMEA Heading";
  m_description = "true heading";
}

int CSD_NMEA_Heading::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeSentencesOf(kHeadings, time, msg, bank);
}
