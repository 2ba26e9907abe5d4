#include "formats/nmea.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string_view>
#include <cstdio>
#include <cstdlib>

#include "formats/field_convert.h"
#include "formats/nmea_scan.h"
#include "host/fixed_text.h"
#include "host/host_time.h"
#include "host/nyx_comm.h"
#include "host/nyx_wnd.h"
#include "host/records.h"
#include "host/report.h"
#include "port/port.h"

NYX_IMPLEMENT_DYNCREATE(CSD_GPGGA, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_GPGGA_ZDA, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_GPZDA, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_PPS, CDecode)

namespace {

// The scan reaches the longitude hemisphere letter at 5 conversions.
constexpr int kGgaMinFields = 5;
// The ZDA scan reaches the year at 6 conversions.
constexpr int kZdaMinFields = 6;

// ddmm.mmmm to degrees.
double NmeaDegrees(double value) {
  const double q = value / 100.0;
  return std::floor(q) + std::fmod(q, 1.0) * 100.0 / 60.0;
}

void SendPosition(const GgaFields& f, double time, int bank) {
  CSnsrPos record;
  record.Stamp(time, bank);
  record.m_quality = static_cast<std::uint16_t>(f.quality);
  record.m_pos.y = NmeaDegrees(f.latitude) * (f.latitudeLetter == 'S' ? -1.0 : 1.0);
  record.m_pos.x = NmeaDegrees(f.longitude) * (f.longitudeLetter == 'W' ? -1.0 : 1.0);
  record.m_pos.z = f.altitude + f.geoidSeparation;
  record.m_hdop = static_cast<float>(f.hdop);
  record.m_sats = static_cast<std::uint16_t>(f.satellites);
  CNyxWnd::SnsrMsg(kSnsrPos, &record);
}

void FillTimeRecord(CSnsrTime& record, const ZdaFields& f, double time, int bank) {
  record.Stamp(time, bank);
  record.m_zoneHours = static_cast<std::uint8_t>(f.zoneHours);
  record.m_zoneMinutes = static_cast<std::uint8_t>(f.zoneMinutes);
}

char* Append(char* p, std::string_view text) { return std::copy(text.begin(), text.end(), p); }

// printf's "%02d".
char* AppendTwoDigits(char* p, int value) {
  if (value >= 0 && value < 10) *p++ = '0';
  return std::to_chars(p, p + 16, value).ptr;
}

int NotConverted(const std::string& msg) { return msg.starts_with("$GP") ? kDecodeForeign : kDecodeBad; }

}  // namespace

void ZdaSynchroniser::Process(CDecode& decoder, CSnsrTime& record, double msgTime, int hour, int minute,
                              double seconds, int day, int month, int year, bool pcYearRule) {
  const SYSTEMTIME pc = GetSystemTime();
  const int second = SaturatingInt(std::floor(seconds));
  const int milliseconds = SaturatingInt((seconds - second) * 1000.0);
  if (year < 100) year += 2000;
  if (pcYearRule && year < 1900) year = pc.wYear;

  SYSTEMTIME gps;
  gps.wYear = static_cast<std::uint16_t>(year);
  gps.wMonth = static_cast<std::uint16_t>(month);
  gps.wDay = static_cast<std::uint16_t>(day);
  gps.wHour = static_cast<std::uint16_t>(hour);
  gps.wMinute = static_cast<std::uint16_t>(minute);
  gps.wSecond = static_cast<std::uint16_t>(second);
  gps.wMilliseconds = static_cast<std::uint16_t>(milliseconds);
  record.m_gpsTime.SetTime(year, month, day, hour, minute, second, milliseconds);

  // Only a sentence stamped on a whole second is considered.
  if (milliseconds != 0) return;
  // A date the PC clock cannot express (a year before 1601 from a ZDA-only
  // port, a month 13) cannot set it either: such a time never synchronises.
  const auto gpsFileTime = SystemTimeToFileTime(gps);
  const auto pcFileTime = SystemTimeToFileTime(pc);
  if (!gpsFileTime || !pcFileTime) return;
  const std::int64_t differenceMs = (*gpsFileTime - *pcFileTime) / 10000;
  if (std::llabs(differenceMs) <= 1000 && --m_countdown > 0) return;

  if (decoder.m_pPort && decoder.m_pPort->m_pOwner) {
    decoder.m_pPort->m_pOwner->ProcessZDA(record.m_gpsTime, gps);
  }
  // "Comm ZDA,%02d%02d%02d.%03.0lf,%02d,%02d,%d Timestamp %1.6lf" (the
  // milliseconds are 0 here), written without printf: a line that is off
  // synchronises on every ZDA.
  char text[512];
  char* p = text;
  p = Append(p, "Comm ZDA,");
  p = AppendTwoDigits(p, hour);
  p = AppendTwoDigits(p, minute);
  p = AppendTwoDigits(p, second);
  p = Append(p, ".000,");
  p = AppendTwoDigits(p, day);
  *p++ = ',';
  p = AppendTwoDigits(p, month);
  *p++ = ',';
  p = std::to_chars(p, p + 16, year).ptr;
  p = Append(p, " Timestamp ");
  p = FormatFixed(p, msgTime, 6);
  *p = '\0';
  Nyx::Status(3021, 2, "%s", text);
  m_countdown = 10;
}

CSD_GPGGA::CSD_GPGGA() { m_name = "GPGGA"; }

int CSD_GPGGA::DecodeMsg(double time, std::string& msg, int bank) {
  GgaFields f;
  if (ScanGga(msg.c_str(), false, f) < kGgaMinFields) return NotConverted(msg);
  SendPosition(f, time, bank);
  return kDecodeOk;
}

CSD_GPGGA_ZDA::CSD_GPGGA_ZDA() {
  m_name = "GGA + ZDA";
  m_expectedParts = 3;
}

int CSD_GPGGA_ZDA::DecodeMsg(double time, std::string& msg, int bank) {
  GgaFields gga;
  if (ScanGga(msg.c_str(), true, gga) >= kGgaMinFields) {
    m_ggaText = msg;
    msg.assign(m_zdaText).append(" ; ").append(m_ggaText);
    SendPosition(gga, time, bank);
    // A position without a fix is still sent but does not count as a reading.
    return gga.quality != 0 ? kDecodeOk : kDecodeForeign;
  }
  ZdaFields zda;
  if (ScanZda(msg.c_str(), zda) >= kZdaMinFields) {
    CSnsrTime record;
    m_sync.Process(*this, record, time, zda.hour, zda.minute, zda.seconds, zda.day, zda.month, zda.year, true);
    FillTimeRecord(record, zda, time, bank);
    m_zdaText = msg;
    msg.assign(m_zdaText).append(" ; ").append(m_ggaText);
    CNyxWnd::SnsrMsg(kSnsrTime, &record);
    return 2;
  }
  return NotConverted(msg);
}

CSD_GPZDA::CSD_GPZDA() { m_name = "ZDA"; }

int CSD_GPZDA::DecodeMsg(double time, std::string& msg, int bank) {
  ZdaFields zda;
  if (ScanZda(msg.c_str(), zda) < kZdaMinFields) return NotConverted(msg);
  CSnsrTime record;
  m_sync.Process(*this, record, time, zda.hour, zda.minute, zda.seconds, zda.day, zda.month, zda.year, false);
  FillTimeRecord(record, zda, time, bank);
  m_zdaText = msg;
  CNyxWnd::SnsrMsg(kSnsrTime, &record);
  return kDecodeOk;
}

CSD_PPS::CSD_PPS() { m_name = "PPS"; }

int CSD_PPS::DecodeMsg(double time, std::string&, int bank) {
  CSnsrInf record;
  record.Stamp(time, bank);
  record.m_type = kSnsrPps;
  CNyxWnd::SnsrMsg(kSnsrPps, &record);
  return kDecodeOk;
}
