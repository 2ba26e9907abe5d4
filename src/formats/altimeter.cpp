#include "formats/altimeter.h"

#include <cstdio>

#include "formats/line_fields.h"
#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_TSSAltimeter1, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_UlvertechBathy, CDecode)

namespace {

void SendMarker(double time, int bank, float marker) {
  CSnsrMarker record;
  record.Stamp(time, bank);
  record.m_marker = marker;
  CNyxWnd::SnsrMsg(kSnsrMarker, &record);
}

}  // namespace

CSD_TSSAltimeter1::CSD_TSSAltimeter1() { m_name = "TSS Altimeter 1"; }

int CSD_TSSAltimeter1::DecodeMsg(double time, std::string& msg, int bank) {
  const std::string line = LineCharacters(msg);
  if (line.size() != 6) return kDecodeBad;
  float value = 0.0f;
  if (std::sscanf(line.substr(1, 5).c_str(), "%f", &value) != 1) return kDecodeBad;
  if (value != 0.0f) SendMarker(time, bank, value);
  return kDecodeOk;
}

CSD_UlvertechBathy::CSD_UlvertechBathy() { m_name = "Ulvertech Bathy"; }

int CSD_UlvertechBathy::DecodeMsg(double time, std::string& msg, int bank) {
  const std::string line = LineCharacters(msg);
  if (line.size() != 10) return kDecodeBad;
  int value = 0;
  if (std::sscanf(line.substr(6, 4).c_str(), "%d", &value) != 1) return kDecodeBad;
  if (value != 0) SendMarker(time, bank, static_cast<float>(value / 100.0));
  return kDecodeOk;
}
