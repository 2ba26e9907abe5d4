#include "formats/cdl.h"

#include <cstdint>

#include "formats/line_fields.h"
#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_MiniTilt, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_CDL1, CDecode)

namespace {

void TrimLineEnds(std::string& text) {
  const auto first = text.find_first_not_of("\r\n");
  if (first == std::string::npos) {
    text.clear();
    return;
  }
  text.erase(text.find_last_not_of("\r\n") + 1);
  text.erase(0, first);
}

void SendMotion(double time, int bank, double pitch, double roll) {
  CSnsrMru record;
  record.Stamp(time, bank);
  record.m_pitch = static_cast<float>(pitch);
  record.m_roll = static_cast<float>(roll);
  record.m_heave = 0.0f;
  CNyxWnd::SnsrMsg(kSnsrMru, &record);
}

}  // namespace

CSD_MiniTilt::CSD_MiniTilt() { m_name = "Mini Tilt"; }

int CSD_MiniTilt::DecodeMsg(double time, std::string& msg, int bank) {
  TrimLineEnds(msg);
  const std::string line = LineCharacters(msg);
  if (line.size() != 16 || line[0] != 'P' || line[8] != 'R') return kDecodeBad;
  double pitch = 0.0, roll = 0.0;
  if (!ScanDouble(line, 1, 7, pitch) || !ScanDouble(line, 9, 7, roll)) return kDecodeBad;
  SendMotion(time, bank, pitch, roll);
  return kDecodeOk;
}

CSD_CDL1::CSD_CDL1() { m_name = "CDL1"; }

int CSD_CDL1::DecodeMsg(double time, std::string& msg, int bank) {
  // Each marker is searched from the one before it, so they must come in order.
  const auto h = msg.find('H');
  if (h == std::string::npos) return kDecodeBad;
  const auto p = msg.find('P', h);
  if (p == std::string::npos) return kDecodeBad;
  const auto r = msg.find('R', p);
  if (r == std::string::npos) return kDecodeBad;
  const auto t = msg.find('T', r);
  if (t == std::string::npos) return kDecodeBad;

  double heading = 0.0, pitch = 0.0, roll = 0.0;
  if (!ScanDouble(msg, h + 1, p - h - 1, heading) || !ScanDouble(msg, p + 1, r - p - 1, pitch) ||
      !ScanDouble(msg, r + 1, t - r - 1, roll)) {
    return kDecodeBad;
  }

  CSnsrGyro gyro;
  gyro.Stamp(time, bank);
  gyro.m_heading = static_cast<float>(heading);
  CNyxWnd::SnsrMsg(kSnsrGyro, &gyro);
  SendMotion(time, bank, pitch, roll);
  return kDecodeOk;
}
