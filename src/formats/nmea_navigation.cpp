#include "formats/nmea_navigation.h"

#include <cmath>
#include <limits>

#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_NMEA_RMC, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_NMEA_GLL, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_NMEA_VTG, CDecode)

namespace {

constexpr double kKmhPerKnot = 1.852;
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

// The position quality a mode letter stands for, as GGA numbers it; 0 for
// 'N' (data not valid). Receivers before the mode letter count as autonomous.
int ModeQuality(char mode) {
  switch (mode) {
    case 'N': return 0;
    case 'D': return 2;
    case 'P': return 3;
    case 'R': return 4;
    case 'F': return 5;
    case 'E': return 6;
    case 'M': return 7;
    case 'S': return 8;
    default: return 1;
  }
}

float Single(const std::optional<double>& value) { return value ? static_cast<float>(*value) : kNoValue; }

void SendFix(double latitude, double longitude, int quality, double time, int bank) {
  CSnsrPos record;
  record.Stamp(time, bank);
  record.m_quality = static_cast<std::uint16_t>(quality);
  record.m_pos.x = longitude;
  record.m_pos.y = latitude;
  CNyxWnd::SnsrMsg(kSnsrPos, &record);
}

void SendTrack(const std::optional<double>& trueCourse, const std::optional<double>& magneticCourse,
               const std::optional<double>& knots, const std::optional<double>& kmh, double time, int bank) {
  CSnsrVTG record;
  record.Stamp(time, bank);
  record.m_trueHeading = Single(trueCourse);
  record.m_magHeading = Single(magneticCourse);
  record.m_knots = Single(knots);
  record.m_kmh = Single(kmh);
  CNyxWnd::SnsrMsg(kSnsrVTG, &record);
}

// Digits of text[pos, pos + 2) as a number, or -1.
int TwoDigits(std::string_view text, std::size_t pos) {
  if (pos + 2 > text.size()) return -1;
  const char a = text[pos], b = text[pos + 1];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  return (a - '0') * 10 + (b - '0');
}

struct Utc {
  int year, month, day, hour, minute, second, milliseconds;
};

// hhmmss[.sss] and ddmmyy; nullopt when either is empty. The century is the
// one that puts the year in 1980 to 2079, the years a GPS date can name.
std::optional<Utc> ReadUtc(NmeaSentence& sentence, std::size_t timeField, std::size_t dateField) {
  const std::string_view clock = sentence.Field(timeField);
  const std::string_view date = sentence.Field(dateField);
  if (clock.empty() || date.empty()) return std::nullopt;
  Utc utc{TwoDigits(date, 4), TwoDigits(date, 2), TwoDigits(date, 0), TwoDigits(clock, 0), TwoDigits(clock, 2),
          TwoDigits(clock, 4), 0};
  bool valid = date.size() == 6 && utc.year >= 0 && utc.month >= 1 && utc.month <= 12 && utc.day >= 1 &&
               utc.day <= 31 && utc.hour >= 0 && utc.hour < 24 && utc.minute >= 0 && utc.minute < 60 &&
               utc.second >= 0 && utc.second <= 60 && (clock.size() == 6 || clock[6] == '.');
  // The fraction of the second, truncated to whole milliseconds.
  for (std::size_t i = 7, scale = 100; valid && i < clock.size(); ++i, scale /= 10) {
    if (clock[i] < '0' || clock[i] > '9') valid = false;
    utc.milliseconds += static_cast<int>(scale) * (clock[i] - '0');
  }
  if (!valid) {
    sentence.SetMalformed();
    return std::nullopt;
  }
  utc.year += utc.year < 80 ? 2000 : 1900;
  return utc;
}

void SendTime(const Utc& utc, double time, int bank) {
  CSnsrTime record;
  record.Stamp(time, bank);
  record.m_gpsTime.SetTime(utc.year, utc.month, utc.day, utc.hour, utc.minute, utc.second, utc.milliseconds);
  CNyxWnd::SnsrMsg(kSnsrTime, &record);
}

}  // namespace

SentenceOutcome DecodeRmc(NmeaSentence& sentence, double time, int bank) {
  const std::optional<double> latitude = sentence.Latitude(3);
  const std::optional<double> longitude = sentence.Longitude(5);
  const std::optional<double> knots = sentence.Number(7);
  const std::optional<double> course = sentence.Number(8);
  const std::optional<double> variationEast = sentence.EastWest(10);
  const std::optional<Utc> utc = ReadUtc(sentence, 1, 9);
  if (sentence.Malformed()) return SentenceOutcome::Malformed;
  const int quality = ModeQuality(sentence.Letter(12));
  if (sentence.Field(2) != "A" || quality == 0) return SentenceOutcome::Nothing;

  const bool fix = latitude && longitude;
  if (fix) SendFix(*latitude, *longitude, quality, time, bank);
  if (knots || course) {
    std::optional<double> magnetic;
    if (course && variationEast) magnetic = NormalisedDegrees(*course - *variationEast);
    std::optional<double> kmh;
    if (knots) kmh = *knots * kKmhPerKnot;
    SendTrack(course, magnetic, knots, kmh, time, bank);
  }
  if (utc) SendTime(*utc, time, bank);
  if (fix) return SentenceOutcome::Fix;
  return knots || course || utc ? SentenceOutcome::Reading : SentenceOutcome::Nothing;
}

SentenceOutcome DecodeGll(NmeaSentence& sentence, double time, int bank) {
  const std::optional<double> latitude = sentence.Latitude(1);
  const std::optional<double> longitude = sentence.Longitude(3);
  if (sentence.Malformed()) return SentenceOutcome::Malformed;
  const int quality = ModeQuality(sentence.Letter(7));
  if (sentence.Field(6) != "A" || quality == 0 || !latitude || !longitude) return SentenceOutcome::Nothing;
  SendFix(*latitude, *longitude, quality, time, bank);
  return SentenceOutcome::Fix;
}

SentenceOutcome DecodeVtg(NmeaSentence& sentence, double time, int bank) {
  // Early receivers send the four values without their unit letters.
  const bool early = sentence.FieldCount() <= 4 && sentence.Field(2) != "T";
  const std::optional<double> course = sentence.Number(1);
  const std::optional<double> magnetic = sentence.Number(early ? 2 : 3);
  std::optional<double> knots = sentence.Number(early ? 3 : 5);
  std::optional<double> kmh = sentence.Number(early ? 4 : 7);
  if (sentence.Malformed()) return SentenceOutcome::Malformed;
  if (!early && ModeQuality(sentence.Letter(9)) == 0) return SentenceOutcome::Nothing;
  if (!course && !magnetic && !knots && !kmh) return SentenceOutcome::Nothing;
  if (!knots && kmh) knots = *kmh / kKmhPerKnot;
  if (!kmh && knots) kmh = *knots * kKmhPerKnot;
  SendTrack(course, magnetic, knots, kmh, time, bank);
  return SentenceOutcome::Reading;
}

namespace {

constexpr SentenceDecoder kRmc[] = {{"RMC", DecodeRmc}};
constexpr SentenceDecoder kGll[] = {{"GLL", DecodeGll}};
constexpr SentenceDecoder kVtg[] = {{"VTG", DecodeVtg}};

}  // namespace

CSD_NMEA_RMC::CSD_NMEA_RMC() {
  m_name = "NMEA RMC";
  m_description = "position, course and speed over ground, UTC";
}

int CSD_NMEA_RMC::DecodeMsg(double time, std::string& msg, int bank) { return DecodeSentencesOf(kRmc, time, msg, bank); }

CSD_NMEA_GLL::CSD_NMEA_GLL() {
  m_name = "NMEA GLL";
  m_description = "position";
}

int CSD_NMEA_GLL::DecodeMsg(double time, std::string& msg, int bank) { return DecodeSentencesOf(kGll, time, msg, bank); }

CSD_NMEA_VTG::CSD_NMEA_VTG() {
  m_name = "NMEA VTG";
  m_description = "course and speed over ground";
}

int CSD_NMEA_VTG::DecodeMsg(double time, std::string& msg, int bank) { return DecodeSentencesOf(kVtg, time, msg, bank); }
