#include "formats/psea.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "host/ansi_text.h"
#include "host/nyx_wnd.h"
#include "host/records.h"
#include "host/tx_msg.h"
#include "port/port.h"

NYX_IMPLEMENT_DYNCREATE(CSD_PSea, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_PSeaPressure, CDecode)

namespace {

template <class Record>
Record Stamped(double time, int bank) {
  Record record;
  record.Stamp(time, bank);
  return record;
}

// An empty field between two commas becomes a blank one, so that splitting
// still yields a token for it. Non-overlapping, left to right: ",,," gives ", ,,".
std::string MarkEmptyFields(const std::string& msg) {
  std::string out;
  out.reserve(msg.size() + 8);
  for (std::size_t i = 0; i < msg.size(); ++i) {
    if (msg[i] == ',' && i + 1 < msg.size() && msg[i + 1] == ',') {
      out += ", ,";
      ++i;
    } else {
      out += msg[i];
    }
  }
  return out;
}

int DecodeVhw(double time, const std::string& msg, int bank) {
  const std::string marked = MarkEmptyFields(msg);
  double values[4] = {};
  int tokens = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = marked.find(',', start);
    const std::string token = marked.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    // Two empty fields in a row leave an empty token: the walk stops there.
    if (token.empty()) break;
    if (tokens % 2 == 1 && tokens <= 7 && token != " ") values[tokens / 2] = std::strtod(token.c_str(), nullptr);
    ++tokens;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (tokens != 9) return kDecodeBad;
  auto record = Stamped<CSnsrVTG>(time, bank);
  record.m_trueHeading = static_cast<float>(values[0]);
  record.m_magHeading = static_cast<float>(values[1]);
  record.m_knots = static_cast<float>(values[2]);
  record.m_kmh = static_cast<float>(values[3]);
  CNyxWnd::SnsrMsg(kSnsrVTG, &record);
  return kDecodeOk;
}

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned crc = i;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xA001u : crc >> 1;
    table[i] = static_cast<std::uint16_t>(crc);
  }
  return table;
}

constexpr std::array<std::uint16_t, 256> kCrcTable = MakeCrcTable();

constexpr std::uint16_t TableCrc(const std::uint8_t* bytes, std::size_t count) {
  std::uint16_t crc = 0xFFFF;
  for (std::size_t i = 0; i < count; ++i) crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrcTable[(crc ^ bytes[i]) & 0xFF]);
  return crc;
}

constexpr CSD_PSeaPressure::Request BuildRequest() {
  CSD_PSeaPressure::Request frame{0xF0, 0x64, 0x07, 'M', 'E', 'A', 'S', 'U', 'R', 'E', 0, 0};
  const std::uint16_t crc = TableCrc(frame.data(), 10);
  frame[10] = static_cast<std::uint8_t>(crc & 0xFF);
  frame[11] = static_cast<std::uint8_t>(crc >> 8);
  return frame;
}

constexpr CSD_PSeaPressure::Request kMeasureRequest = BuildRequest();
static_assert(kMeasureRequest[10] == 0xFC && kMeasureRequest[11] == 0xB9);

// The reply's temperature unit as the host names it; empty when unknown.
std::string TemperatureUnit(std::string_view received) {
  if (received.find("\xB0" "C") != std::string_view::npos) return "°C";
  if (received.find("\xB0" "F") != std::string_view::npos) return "°F";
  if (received.find('K') != std::string_view::npos) return "°K";
  return {};
}

}  // namespace

CSD_PSea::CSD_PSea() { m_name = "PSea Sensors"; }

int CSD_PSea::DecodeMsg(double time, std::string& msg, int bank) {
  char checksum[16] = {};
  if (msg.starts_with("$SDDBT")) {
    double feet = 0.0, metres = 0.0, fathoms = 0.0;
    if (std::sscanf(msg.c_str(), "$SDDBT,%lf,f,%lf,M,%lf,F*%15s", &feet, &metres, &fathoms, checksum) < 1) {
      return kDecodeBad;
    }
    auto record = Stamped<CSnsrAlt>(time, bank);
    record.m_depth = static_cast<float>(metres);
    CNyxWnd::SnsrMsg(kSnsrAlt, &record);
    return kDecodeOk;
  }
  if (msg.starts_with("$VWVHW")) return DecodeVhw(time, msg, bank);
  if (msg.starts_with("$YXMTW")) {
    double temperature = 0.0;
    if (std::sscanf(msg.c_str(), "$YXMTW,%lf,C*%15s", &temperature, checksum) < 1) return kDecodeBad;
    auto record = Stamped<CSnsrTmp>(time, bank);
    record.m_temperature = static_cast<float>(temperature);
    CNyxWnd::SnsrMsg(kSnsrTmp, &record);
    return kDecodeOk;
  }
  if (msg.starts_with("$SDDPT")) {
    double depth = 0.0, offset = 0.0, range = 0.0;
    return std::sscanf(msg.c_str(), "$SDDPT,%lf,%lf,%lf*%15s", &depth, &offset, &range, checksum) >= 1 ? kDecodeOk
                                                                                                          : kDecodeBad;
  }
  return kDecodeBad;
}

CSD_PSeaPressure::CSD_PSeaPressure() { m_name = "PSea Pressure"; }

std::uint16_t CSD_PSeaPressure::Crc16(const std::uint8_t* bytes, std::size_t count) { return TableCrc(bytes, count); }

CSD_PSeaPressure::Request CSD_PSeaPressure::MeasureRequest() { return kMeasureRequest; }

int CSD_PSeaPressure::DecodeMsg(double time, std::string& msg, int bank) {
  const std::size_t at = msg.find("MEASURE");
  if (at == std::string::npos) return kDecodeForeign;
  // Field widths count characters: scan the reply in the line's own code page.
  const std::string reply = Ansi::FromUtf8(std::string_view(msg).substr(at));
  double pressure = 0.0, temperature = 0.0;
  char pressureUnit[8] = {}, temperatureUnit[4] = {}, status[7] = {};
  if (std::sscanf(reply.c_str(), "MEASURE -P %lf -PU %7s -T %lf -TU %3s %6s", &pressure, pressureUnit, &temperature,
                  temperatureUnit, status) != 5) {
    return kDecodeBad;
  }
  auto record = Stamped<CSnsrPressure>(time, bank);
  record.m_pressure = static_cast<float>(pressure);
  record.m_pressureUnit = Ansi::ToUtf8(pressureUnit);
  record.m_temperature = static_cast<float>(temperature);
  if (std::string unit = TemperatureUnit(temperatureUnit); !unit.empty()) record.m_temperatureUnit = unit;
  CNyxWnd::SnsrMsg(kSnsrPressure, &record);
  return kDecodeOk;
}

void CSD_PSeaPressure::OnTrigger(double now, double) {
  if (!m_pPort || !(m_lastPoll + m_pollInterval < now)) return;
  TX_MSG msg{reinterpret_cast<const char*>(kMeasureRequest.data()), static_cast<int>(kMeasureRequest.size())};
  m_pPort->SendData(&msg);
  m_lastPoll = now;
}
