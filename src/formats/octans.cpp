#include "formats/octans.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "formats/line_fields.h"
#include "host/geometry.h"
#include "host/nyx_wnd.h"
#include "host/records.h"

NYX_IMPLEMENT_DYNCREATE(CSD_OctansAll, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_OctansGHPR, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_OctansHead, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_OctansHPR, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_OctansLinear, CDecode)
NYX_IMPLEMENT_DYNCREATE(CSD_OctansPR, CDecode)

namespace {

// The checksum text is read into room for nine characters; a longer one does
// not fit, and then the sentence is not complete. The scans take one more
// ("%10s") so that such a text can be told apart.
constexpr std::size_t kChecksumChars = 9;

struct ChecksumText {
  char text[kChecksumChars + 2] = {};
  bool Fits() const { return std::strlen(text) <= kChecksumChars; }
};

// A scan is accepted only with every conversion, the checksum text included.
bool Complete(int conversions, int required, const ChecksumText& checksum) {
  return conversions == required && checksum.Fits();
}

// One framed message, scanned as the unit's own characters.
class OctansSentence {
 public:
  OctansSentence(const std::string& msg, double time, int bank)
      : m_line(LineCharacters(msg)), m_time(time), m_bank(static_cast<std::uint8_t>(bank)) {}

  bool Heading(double& heading) const {
    ChecksumText checksum;
    return Complete(std::sscanf(Text(), "$HEHDT,%lf,T*%10s", &heading, checksum.text), 2, checksum);
  }

  bool Status() const {
    unsigned status = 0;
    ChecksumText checksum;
    return Complete(std::sscanf(Text(), "$PHINF,%x*%10s", &status, checksum.text), 2, checksum);
  }

  // PHTRH: pitch, roll and heave with their sign letters applied.
  bool AttitudeHeave(double& pitch, double& roll, double& heave) const {
    char pitchLetter = 0, rollLetter = 0, heaveLetter = 0;
    ChecksumText checksum;
    const int n = std::sscanf(Text(), "$PHTRH,%lf,%c,%lf,%c,%lf,%c*%10s", &pitch, &pitchLetter, &roll, &rollLetter,
                              &heave, &heaveLetter, checksum.text);
    if (!Complete(n, 7, checksum)) return false;
    ApplySigns(pitch, pitchLetter, roll, rollLetter);
    if (heaveLetter == 'O') heave = -heave;
    return true;
  }

  // PHTRO: pitch and roll with their sign letters applied.
  bool Attitude(double& pitch, double& roll) const {
    char pitchLetter = 0, rollLetter = 0;
    ChecksumText checksum;
    const int n = std::sscanf(Text(), "$PHTRO,%lf,%c,%lf,%c*%10s", &pitch, &pitchLetter, &roll, &rollLetter,
                              checksum.text);
    if (!Complete(n, 5, checksum)) return false;
    ApplySigns(pitch, pitchLetter, roll, rollLetter);
    return true;
  }

  bool Linear(CV3& surgeSwayHeave) const { return Triple("$PHLIN,%lf,%lf,%lf*%10s", surgeSwayHeave); }
  bool Speed(CV3& speed) const { return Triple("$PHSPD,%lf,%lf,%lf*%10s", speed); }

  void SendHeading(double heading) const {
    CSnsrGyro record;
    Stamp(record);
    record.m_heading = static_cast<float>(heading);
    CNyxWnd::SnsrMsg(kSnsrGyro, &record);
  }

  void SendAttitude(double pitch, double roll) const {
    CSnsrMru record;
    Stamp(record);
    record.m_pitch = static_cast<float>(pitch);
    record.m_roll = static_cast<float>(roll);
    CNyxWnd::SnsrMsg(kSnsrMru, &record);
  }

  void SendAttitude(double pitch, double roll, double heave) const {
    CSnsrMru record;
    Stamp(record);
    record.m_pitch = static_cast<float>(pitch);
    record.m_roll = static_cast<float>(roll);
    record.m_heave = static_cast<float>(heave);
    CNyxWnd::SnsrMsg(kSnsrMru, &record);
  }

  // Linear motion carries the attitude the decoder last stored.
  void SendLinear(const CV3& surgeSwayHeave, const OctansAttitude& last) const {
    CSnsrMru record;
    Stamp(record);
    record.m_surge = static_cast<float>(surgeSwayHeave.x);
    record.m_sway = static_cast<float>(surgeSwayHeave.y);
    record.m_heave = static_cast<float>(surgeSwayHeave.z);
    record.m_pitch = static_cast<float>(last.pitch);
    record.m_roll = static_cast<float>(last.roll);
    CNyxWnd::SnsrMsg(kSnsrMru, &record);
  }

  // The speeds as sent, and rotated by the stored heading.
  void SendSpeed(const CV3& v, double headingDegrees) const {
    const double h = headingDegrees * ML::d2r;
    CSnsrPos record;
    Stamp(record);
    record.m_pos = v;
    record.m_pos2 = CV3{v.x * std::sin(h) - v.y * std::cos(h), v.x * std::cos(h) + v.y * std::sin(h), v.z};
    CNyxWnd::SnsrMsg(kSnsrPos, &record);
  }

 private:
  const char* Text() const { return m_line.c_str(); }

  static void ApplySigns(double& pitch, char pitchLetter, double& roll, char rollLetter) {
    if (pitchLetter == 'P') pitch = -pitch;
    if (rollLetter == 'B') roll = -roll;
  }

  bool Triple(const char* pattern, CV3& v) const {
    ChecksumText checksum;
    return Complete(std::sscanf(Text(), pattern, &v.x, &v.y, &v.z, checksum.text), 4, checksum);
  }

  void Stamp(CSnsr& record) const { record.Stamp(m_time, m_bank); }

  std::string m_line;
  double m_time;
  std::uint8_t m_bank;
};

}  // namespace

CSD_OctansAll::CSD_OctansAll() {
  m_name = "Octans (All)";
  m_expectedParts = 63;
}

int CSD_OctansAll::DecodeMsg(double time, std::string& msg, int bank) {
  const OctansSentence sentence(msg, time, bank);
  double a = 0.0, b = 0.0, c = 0.0;
  CV3 v;
  if (sentence.Heading(a)) {
    m_last.heading = a;
    sentence.SendHeading(a);
    return 1;
  }
  if (sentence.Status()) return 2;
  if (sentence.AttitudeHeave(a, b, c)) {
    sentence.SendAttitude(a, b, c);
    return 3;
  }
  if (sentence.Attitude(a, b)) {
    m_last.pitch = a;
    m_last.roll = b;
    return 4;
  }
  if (sentence.Linear(v)) {
    sentence.SendLinear(v, m_last);
    return 5;
  }
  if (sentence.Speed(v)) {
    sentence.SendSpeed(v, m_last.heading);
    return 6;
  }
  return kDecodeBad;
}

CSD_OctansGHPR::CSD_OctansGHPR() {
  m_name = "Octans (Gyro + HPR)";
  m_expectedParts = 7;
}

int CSD_OctansGHPR::DecodeMsg(double time, std::string& msg, int bank) {
  const OctansSentence sentence(msg, time, bank);
  double pitch = 0.0, roll = 0.0, heave = 0.0, heading = 0.0;
  if (sentence.Status()) return 2;
  if (sentence.Heading(heading)) {
    sentence.SendHeading(heading);
    return 1;
  }
  if (sentence.AttitudeHeave(pitch, roll, heave)) {
    sentence.SendAttitude(pitch, roll, heave);
    return 3;
  }
  return kDecodeBad;
}

CSD_OctansHead::CSD_OctansHead() {
  m_name = "Octans (Heading)";
  m_expectedParts = 3;
}

int CSD_OctansHead::DecodeMsg(double time, std::string& msg, int bank) {
  const OctansSentence sentence(msg, time, bank);
  double heading = 0.0;
  if (sentence.Status()) return 2;
  if (sentence.Heading(heading)) {
    sentence.SendHeading(heading);
    return 1;
  }
  return kDecodeBad;
}

CSD_OctansHPR::CSD_OctansHPR() { m_name = "Octans (PHTRH)"; }

int CSD_OctansHPR::DecodeMsg(double time, std::string& msg, int bank) {
  const OctansSentence sentence(msg, time, bank);
  double pitch = 0.0, roll = 0.0, heave = 0.0;
  if (!sentence.AttitudeHeave(pitch, roll, heave)) return kDecodeBad;
  sentence.SendAttitude(pitch, roll, heave);
  return kDecodeOk;
}

CSD_OctansLinear::CSD_OctansLinear() {
  m_name = "Octans (Linear)";
  m_expectedParts = 7;
}

int CSD_OctansLinear::DecodeMsg(double time, std::string& msg, int bank) {
  const OctansSentence sentence(msg, time, bank);
  double heading = 0.0;
  CV3 v;
  if (sentence.Heading(heading)) {
    m_last.heading = heading;  // only for rotating the speeds
    return 1;
  }
  if (sentence.Linear(v)) {
    sentence.SendLinear(v, m_last);
    return 2;
  }
  if (sentence.Speed(v)) {
    sentence.SendSpeed(v, m_last.heading);
    return 3;
  }
  return kDecodeBad;
}

CSD_OctansPR::CSD_OctansPR() { m_name = "Octans (PHTRO)"; }

int CSD_OctansPR::DecodeMsg(double time, std::string& msg, int bank) {
  const OctansSentence sentence(msg, time, bank);
  double pitch = 0.0, roll = 0.0;
  if (!sentence.Attitude(pitch, roll)) return kDecodeBad;
  sentence.SendAttitude(pitch, roll);
  return kDecodeOk;
}
