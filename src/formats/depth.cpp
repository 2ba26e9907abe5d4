#include "formats/depth.h"

#include <cstdio>

#include "formats/line_fields.h"
#include "host/ansi_text.h"
#include "host/archive.h"
#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_Digi, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_Sondepth, CDecode)

namespace {

void SendDepth(double time, int bank, double depth) {
  CSnsrZ record;
  record.Stamp(time, bank);
  record.m_depth = static_cast<float>(depth);
  CNyxWnd::SnsrMsg(kSnsrZ, &record);
}

constexpr std::size_t kDigiAddressChars = 5;
// The address, a separator and at least one digit.
constexpr std::size_t kDigiMinChars = 7;

}  // namespace

CSD_Digi::CSD_Digi() { m_name = "Parascientific Digiquartz"; }

int CSD_Digi::DecodeMsg(double time, std::string& msg, int bank) {
  const std::string line = LineCharacters(msg);
  if (line.size() < kDigiMinChars) return kDecodeBad;
  // The port shows the reading without its address.
  msg = Ansi::ToUtf8(std::string_view(line).substr(kDigiAddressChars));
  double reading = 0.0;
  if (std::sscanf(msg.c_str(), "%lf", &reading) != 1) return kDecodeBad;
  SendDepth(time, bank, reading * m_scale + m_offset);
  return kDecodeOk;
}

void CSD_Digi::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << m_scale << m_offset << m_spare;
  } else {
    ar >> m_scale >> m_offset >> m_spare;
  }
}

CSD_Sondepth::CSD_Sondepth() { m_name = "Sonadyne depth ($SONDEP)"; }

int CSD_Sondepth::DecodeMsg(double time, std::string& msg, int bank) {
  double depth = 0.0;
  double unused = 0.0;
  char unit = 0;
  char checksum[10] = {};
  if (std::sscanf(msg.c_str(), "$SONDEP,%lf,%lf,%c*%9s", &depth, &unused, &unit, checksum) < 3 &&
      std::sscanf(msg.c_str(), "$SONDEP,%lf,,%c*%9s", &depth, &unit, checksum) < 2) {
    return kDecodeBad;
  }
  SendDepth(time, bank, unit == 'M' ? depth : depth / 100.0);
  return kDecodeOk;
}
