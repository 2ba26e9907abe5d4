// Framed UDP packets exchanged with the external sonar controller: a 16-byte
// header, then ASCII text with its terminating NUL. Incoming packets may carry
// the controller's two commands:
//
//   $PVKRSTP,1*55     stall ping: v != 0 stalls the sonar's pinging
//   $PVKRTRP,5*50     trigger ping: v is passed on to the host
//
// Header (little-endian):
//   0  u8   0x00 on the wire (0x02 after a reset, until the sender clears it)
//   1  u8   0x01
//   2  u16  payload length + 12 (the bytes after this field)
//   4  u16  0
//   6  u16  0x0105
//   8  u32  seconds since the sending manager was created
//   12 u32  microseconds within that second
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>

class CSnsStreamStallPing;
class CUDPLink;

// A clock reading of whole seconds since 1970 and milliseconds, as the
// platform's _ftime64_s gives it.
struct TimeB64 {
  std::int64_t time = 0;
  std::uint16_t millitm = 0;
};

// The host clock (TmSync::GetClock()) as such a reading; milliseconds truncated.
TimeB64 ReadTimeB64();

struct FramedPacketHeader {
  std::uint8_t m_start = 0x02;
  std::uint8_t m_version = 0x01;
  std::uint16_t m_length = 12;
  std::uint16_t m_reserved = 0;
  std::uint16_t m_type = 0;
  std::uint32_t m_seconds = 0;
  std::uint32_t m_microseconds = 0;
};

class CFramedSerialPacketManager {
 public:
  static constexpr int kHeaderSize = 16;
  static constexpr int kMaxPayload = 1000;
  // Incoming payloads are used up to this many bytes.
  static constexpr int kMaxRxPayload = 256;
  static constexpr std::uint16_t kPacketType = 0x0105;

  CFramedSerialPacketManager();
  virtual ~CFramedSerialPacketManager();
  CFramedSerialPacketManager(const CFramedSerialPacketManager&) = delete;
  CFramedSerialPacketManager& operator=(const CFramedSerialPacketManager&) = delete;

  // Builds one packet of n payload bytes and hands it to the link. The time
  // fields come from now, counted from the manager's start; usec is not used
  // (callers pass the same milliseconds as now carries).
  void SendPacket(const char* payload, int n, unsigned int usec, const TimeB64& now);
  // The sender's part before each packet, done as one step with SendPacket:
  // header byte 0 to 0 and the send lock cleared.
  void SendUnlocked(const char* payload, int n, unsigned int usec, const TimeB64& now);
  // Takes in one datagram that passed the link's filter (4 bytes or more,
  // first byte 0) and passes on the commands it carries.
  void ReceivePacket(const unsigned char* data, int count);
  // Header to its reset values, lengths to 0, sending locked.
  void Reset();
  // m_rxLength, for a thread other than the receiving one.
  int GetRxLength();

  FramedPacketHeader m_header;
  std::array<unsigned char, kMaxPayload> m_payload{};
  int m_txLength = 0;
  int m_rxLength = 0;
  int m_bufferSize = kHeaderSize + kMaxPayload;
  std::unique_ptr<unsigned char[]> m_buffer;
  int m_bSendLocked = 1;
  CUDPLink* m_pLink = nullptr;
  TimeB64 m_start;
  std::unique_ptr<CSnsStreamStallPing> m_pStallPing;

 private:
  // What a received command passes on, delivered after the manager is released.
  struct Command {
    int kind = 0;  // 0 none, or the info kind
    long value = 0;
    int alarm = 0;  // checksum alarm id, or 0
  };
  void SendLocked(const char* payload, int n, const TimeB64& now);
  Command ParseStallPing(std::string_view text);
  Command ParseTriggerPing(std::string_view text);

  // The receive thread and the sending side share the manager; this keeps
  // their steps apart. It is never held while a message goes to the host.
  std::mutex m_useLock;
};

// The sentence scan of the two commands, pattern "%8s,%d%4s" with scanf's
// semantics: the number of fields converted (fewer than three: no command).
struct PingSentence {
  std::string_view tag;
  int value = 0;
  std::string_view suffix;
};
int ScanPingSentence(std::string_view text, PingSentence& out);

// The checksum a command carries after its asterisk(s), and the one computed
// over its text (between the leading '$' and the last '*'). Both work on the
// Windows-1252 bytes of the text.
std::uint8_t ReceivedChecksum(std::string_view suffix);
std::uint8_t ComputedChecksum(std::string_view text);
