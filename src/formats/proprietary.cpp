#include "formats/proprietary.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "formats/line_fields.h"
#include "host/ansi_text.h"
#include "host/nyx_wnd.h"

NYX_IMPLEMENT_DYNCREATE(CDecodeTELDataToHalde, CDecode)
NYX_IMPLEMENT_DYNCREATE(CDecodeStallPingHardWare, CDecode)
NYX_IMPLEMENT_DYNCREATE(CDecodeStallPingSoftWare, CDecode)
NYX_IMPLEMENT_DYNCREATE(CDecodeStallPingString, CDecode)

namespace {

constexpr const char* kTargetHeader = "$PVKRDTS";
constexpr const char* kStallPingHeader = "$PVKRSTP";
// The checksum field holds '*' and two hex digits; a longer field (a trailing
// CR, say) does not fit it and the sentence is rejected.
constexpr std::size_t kChecksumFieldChars = 3;

// Fields as scanned. The widths are generous so that an overlong header or
// checksum field is seen whole and rejected, never cut to fit.
struct Scanned {
  char header[32] = {};
  char checksum[64] = {};
  char extra[64] = {};
};

// Flow-control codes arrive as numbers once framed.
bool IsWholeNumber(const std::string& msg) {
  int value = 0;
  return std::sscanf(msg.c_str(), "%d", &value) == 1;
}

// The checksum field without its leading '*', read as hexadecimal (text that is
// not hexadecimal reads as 0); only the low byte counts.
std::uint8_t ReceivedChecksum(std::string_view field) {
  const std::size_t digits = field.find_first_not_of('*');
  const std::string ansi = Ansi::FromUtf8(digits == std::string_view::npos ? std::string_view() : field.substr(digits));
  return static_cast<std::uint8_t>(std::strtoul(ansi.c_str(), nullptr, 16));
}

// XOR of the low bytes of the characters between the leading '$' characters and
// the last '*'; without a '*' nothing is covered.
std::uint8_t ComputedChecksum(std::string_view msg) {
  const std::size_t star = msg.rfind('*');
  if (star == std::string_view::npos) return 0;
  std::string_view covered = msg.substr(0, star);
  covered.remove_prefix(std::min(covered.find_first_not_of('$'), covered.size()));
  std::uint8_t sum = 0;
  for (const char byte : LineCharacters(std::string(covered))) sum ^= Ansi::WideLowByte(static_cast<unsigned char>(byte));
  return sum;
}

// Fills the record's checksum field; true when the sentence's checksum holds.
bool ChecksumHolds(const std::string& msg, const char* field, std::uint8_t& received) {
  received = ReceivedChecksum(field);
  return received == ComputedChecksum(msg);
}

bool FitsChecksumField(const char* field) { return LineCharacters(field).size() <= kChecksumFieldChars; }

// The stall-ping sentence, shared by the software and string decoders.
int DecodeStallPingSentence(const std::string& msg, CSnsStreamStallPing& record) {
  Scanned s;
  int flag = 0;
  if (std::sscanf(msg.c_str(), "%31[^,], %d, %63[^,], %63[^,]", s.header, &flag, s.checksum, s.extra) != 3) {
    return kDecodeBad;
  }
  if (std::string_view(s.header) != kStallPingHeader || !FitsChecksumField(s.checksum)) return kDecodeBad;
  record.m_flagA = record.m_flagB = flag == 1 ? 1 : 0;
  record.m_text = msg;
  if (!ChecksumHolds(msg, s.checksum, record.m_checksum)) return kDecodeBad;
  CNyxWnd::InfoMsg(kInfoStallPing, &record);
  return kDecodeOk;
}

bool IsFlowControl(unsigned char byte) { return byte == kXon || byte == kXoff; }

}  // namespace

CDecodeTELDataToHalde::CDecodeTELDataToHalde() { m_name = "VKRDTS"; }

int CDecodeTELDataToHalde::DecodeMsg(double, std::string& msg, int) {
  if (IsWholeNumber(msg)) return kDecodeOk;
  Scanned s;
  float x = 0.0f, y = 0.0f, z = 0.0f;
  int flag = 0;
  if (std::sscanf(msg.c_str(), "%31[^,], %f, %f, %f, %d, %63[^,], %63[^,]", s.header, &x, &y, &z, &flag, s.checksum,
                  s.extra) >= 6) {
    // Only a sentence that carries the flag sets flag B; without it B keeps its value.
    m_record.m_flagB = flag != 0 ? 1 : 0;
  } else {
    flag = 0;
    if (std::sscanf(msg.c_str(), "%31[^,], %f, %f, %f, %63[^,], %63[^,]", s.header, &x, &y, &z, s.checksum, s.extra) <
        5) {
      return kDecodeBad;
    }
  }
  if (std::string_view(s.header) != kTargetHeader || !FitsChecksumField(s.checksum)) return kDecodeBad;
  m_record.m_x = x;
  m_record.m_y = y;
  m_record.m_z = z;
  m_record.m_flagA = flag != 0 ? 1 : 0;
  m_record.m_text = msg;
  if (!ChecksumHolds(msg, s.checksum, m_record.m_checksum)) return kDecodeBad;
  CNyxWnd::InfoMsg(kInfoTargetData, &m_record);
  return kDecodeOk;
}

int CDecodeTELDataToHalde::DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) {
  // A flow-control code is a message of its own; the port decodes it as empty text.
  if (IsFlowControl(byte)) {
    m_frames.Store(time, byte);
    return 1;
  }
  return m_frames.NewByte(time, byte, msg, msgTime);
}

CDecodeStallPingHardWare::CDecodeStallPingHardWare() { m_name = "VKRSPHW"; }

int CDecodeStallPingHardWare::DecodeMsg(double, std::string& msg, int) {
  return IsWholeNumber(msg) ? kDecodeOk : kDecodeBad;
}

int CDecodeStallPingHardWare::DecodeByte(double, unsigned char byte, std::string&, double&) {
  return IsFlowControl(byte) ? 1 : 0;
}

CDecodeStallPingSoftWare::CDecodeStallPingSoftWare() { m_name = "VKRSPSW"; }

int CDecodeStallPingSoftWare::DecodeMsg(double, std::string& msg, int) {
  if (IsWholeNumber(msg)) return kDecodeOk;
  return DecodeStallPingSentence(msg, m_record);
}

int CDecodeStallPingSoftWare::DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) {
  if (IsFlowControl(byte)) {
    m_frames.Store(time, byte);
    return 1;
  }
  return m_frames.NewByte(time, byte, msg, msgTime);
}

CDecodeStallPingString::CDecodeStallPingString() { m_name = "VKRSTP"; }

int CDecodeStallPingString::DecodeMsg(double, std::string& msg, int) { return DecodeStallPingSentence(msg, m_record); }

int CDecodeStallPingString::DecodeByte(double time, unsigned char byte, std::string& msg, double& msgTime) {
  return m_frames.NewByte(time, byte, msg, msgTime);
}
