#include "formats/tss.h"

#include <cstdint>
#include <cstdio>

#include "formats/line_fields.h"
#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_TSS1, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_TSS1NOH, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_TSS1_HEHDT, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_TSS1NOH_HEHDT, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_TSS2, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_HEHDT, CDecode)

namespace {

constexpr int kHeadingPart = 2;

// Both fixed-column formats are 25 characters, 26 while the CR is still there.
bool FixedLength(const std::string& line) { return line.size() == 25 || line.size() == 26; }

// A five-column field in 1/100 units (degrees or metres).
bool ScanHundredths(const std::string& line, std::size_t column, double& value) {
  if (!ScanDouble(line, column, 5, value)) return false;
  value /= 100.0;
  return true;
}

// The TSS 1 line of a message already known to have the right length.
int DecodeTss1(const std::string& line, bool withHeave, double time, int bank) {
  double heave = 0.0, roll = 0.0, pitch = 0.0;
  if (withHeave && !ScanHundredths(line, 8, heave)) return kDecodeBad;
  if (!ScanHundredths(line, 14, roll) || !ScanHundredths(line, 20, pitch)) return kDecodeBad;

  CSnsrMru record;
  record.Stamp(time, bank);
  if (withHeave) record.m_heave = static_cast<float>(heave);
  record.m_roll = static_cast<float>(roll);
  record.m_pitch = static_cast<float>(pitch);
  CNyxWnd::SnsrMsg(kSnsrMru, &record);
  return kDecodeOk;
}

int DecodeTss1Message(const std::string& msg, bool withHeave, double time, int bank) {
  const std::string line = LineCharacters(msg);
  if (!FixedLength(line)) return kDecodeBad;
  return DecodeTss1(line, withHeave, time, bank);
}

// "$HEHDT,%lf,": true when the heading converted and was sent.
bool DecodeHeading(const std::string& msg, double time, int bank) {
  double heading = 0.0;
  if (std::sscanf(msg.c_str(), "$HEHDT,%lf,", &heading) != 1) return false;
  CSnsrGyro record;
  record.Stamp(time, bank);
  record.m_heading = static_cast<float>(heading);
  CNyxWnd::SnsrMsg(kSnsrGyro, &record);
  return true;
}

// A TSS 1 line by its length, anything else as a heading sentence (part 2).
int DecodeTss1OrHeading(const std::string& msg, bool withHeave, double time, int bank) {
  const std::string line = LineCharacters(msg);
  if (FixedLength(line)) return DecodeTss1(line, withHeave, time, bank);
  return DecodeHeading(msg, time, bank) ? kHeadingPart : kDecodeBad;
}

}  // namespace

CSD_TSS1::CSD_TSS1() { m_name = "TSS 1 (SOUNDER)"; }

int CSD_TSS1::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeTss1Message(msg, true, time, bank);
}

CSD_TSS1NOH::CSD_TSS1NOH() { m_name = "TSS 1 (No Heave)"; }

int CSD_TSS1NOH::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeTss1Message(msg, false, time, bank);
}

CSD_TSS1_HEHDT::CSD_TSS1_HEHDT() {
  m_name = "TSS 1 + HEHDT";
  m_expectedParts = 3;
}

int CSD_TSS1_HEHDT::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeTss1OrHeading(msg, true, time, bank);
}

CSD_TSS1NOH_HEHDT::CSD_TSS1NOH_HEHDT() {
  m_name = "TSS 1 (No Heave) + HEHDT";
  m_expectedParts = 3;
}

int CSD_TSS1NOH_HEHDT::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeTss1OrHeading(msg, false, time, bank);
}

CSD_TSS2::CSD_TSS2() { m_name = "TSS 2"; }

int CSD_TSS2::DecodeMsg(double time, std::string& msg, int bank) {
  const std::string line = LineCharacters(msg);
  if (!FixedLength(line)) return kDecodeBad;
  const char heaveStatus = line[12];
  const char headingStatus = line[24];
  double heading = 0.0, heave = 0.0, roll = 0.0, pitch = 0.0;
  if (!ScanHundredths(line, 1, heading) || !ScanHundredths(line, 7, heave) || !ScanHundredths(line, 13, roll) ||
      !ScanHundredths(line, 19, pitch)) {
    return kDecodeBad;
  }

  CSnsrMru motion;
  motion.Stamp(time, bank);
  motion.m_heave = static_cast<float>(heave);
  motion.m_pitch = static_cast<float>(pitch);
  motion.m_roll = static_cast<float>(roll);
  // Other status characters leave the record's defaults rather than failing.
  if (heaveStatus == 'H') {
    motion.m_status = 1;
    motion.m_statusText = "Heave Nominal";
  } else if (heaveStatus == 'h') {
    motion.m_status = 0;
    motion.m_statusText = "Heave Aligning";
  }
  CNyxWnd::SnsrMsg(kSnsrMru, &motion);

  CSnsrGyro gyro;
  gyro.Stamp(time, bank);
  gyro.m_heading = static_cast<float>(heading);
  if (headingStatus == 'A') {
    gyro.m_status = 2;
    gyro.m_statusText = "General Alarm";
  } else if (headingStatus == 'F') {
    gyro.m_status = 1;
    gyro.m_statusText = "Heading Nominal";
  } else if (headingStatus == 'f') {
    gyro.m_status = 0;
    gyro.m_statusText = "Heading Aligning";
  }
  CNyxWnd::SnsrMsg(kSnsrGyro, &gyro);
  return kDecodeOk;
}

CSD_HEHDT::CSD_HEHDT() { m_name = "HEHDT"; }

int CSD_HEHDT::DecodeMsg(double time, std::string& msg, int bank) {
  return DecodeHeading(msg, time, bank) ? kDecodeOk : kDecodeBad;
}
