#include "net/framed_packet_manager.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/ansi_text.h"
#include "host/host_time.h"
#include "host/nyx_wnd.h"
#include "host/records.h"
#include "host/report.h"
#include "net/udp_link.h"

namespace {

constexpr std::string_view kStallTag = "$PVKRSTP";
constexpr std::string_view kTriggerTag = "$PVKRTRP";

void PutU16(unsigned char* out, std::uint16_t value) {
  out[0] = static_cast<unsigned char>(value);
  out[1] = static_cast<unsigned char>(value >> 8);
}

void PutU32(unsigned char* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint16_t GetU16(const unsigned char* in) { return static_cast<std::uint16_t>(in[0] | (in[1] << 8)); }

std::uint32_t GetU32(const unsigned char* in) {
  return static_cast<std::uint32_t>(in[0]) | static_cast<std::uint32_t>(in[1]) << 8 |
         static_cast<std::uint32_t>(in[2]) << 16 | static_cast<std::uint32_t>(in[3]) << 24;
}

void WriteHeader(unsigned char* out, const FramedPacketHeader& h) {
  out[0] = h.m_start;
  out[1] = h.m_version;
  PutU16(out + 2, h.m_length);
  PutU16(out + 4, h.m_reserved);
  PutU16(out + 6, h.m_type);
  PutU32(out + 8, h.m_seconds);
  PutU32(out + 12, h.m_microseconds);
}

FramedPacketHeader ReadHeader(const unsigned char* in) {
  FramedPacketHeader h;
  h.m_start = in[0];
  h.m_version = in[1];
  h.m_length = GetU16(in + 2);
  h.m_reserved = GetU16(in + 4);
  h.m_type = GetU16(in + 6);
  h.m_seconds = GetU32(in + 8);
  h.m_microseconds = GetU32(in + 12);
  return h;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// %Ns: skips white space, then takes up to width non-space characters.
bool ScanString(std::string_view text, std::size_t& pos, std::size_t width, std::string_view& out) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  const std::size_t start = pos;
  while (pos < text.size() && pos - start < width && !IsSpace(text[pos])) ++pos;
  out = text.substr(start, pos - start);
  return pos > start;
}

// %d: skips white space, an optional sign, then at least one digit. A value
// beyond the int range saturates rather than being undefined.
bool ScanInt(std::string_view text, std::size_t& pos, int& out) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  std::size_t p = pos;
  const bool negative = p < text.size() && text[p] == '-';
  if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
  if (p >= text.size() || !IsDigit(text[p])) return false;
  long long value = 0;
  for (; p < text.size() && IsDigit(text[p]); ++p) {
    value = std::min<long long>(value * 10 + (text[p] - '0'), static_cast<long long>(INT_MAX) + 1);
  }
  if (negative) value = -value;
  out = static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
  pos = p;
  return true;
}

}  // namespace

TimeB64 ReadTimeB64() {
  const double unix = TmSync::GetClock()->Now() + kHostEpochUnixSeconds;
  if (!std::isfinite(unix) || std::fabs(unix) > 1e12) return {};
  // Whole microseconds first, so that a reading of x.7 s is not taken as x.699.
  const long long micros = std::llround(unix * 1e6);
  long long seconds = micros / 1'000'000;
  long long rest = micros % 1'000'000;
  if (rest < 0) {
    rest += 1'000'000;
    --seconds;
  }
  return {seconds, static_cast<std::uint16_t>(rest / 1000)};
}

int ScanPingSentence(std::string_view text, PingSentence& out) {
  std::size_t pos = 0;
  if (!ScanString(text, pos, 8, out.tag)) return -1;
  if (pos >= text.size() || text[pos] != ',') return 1;
  ++pos;
  if (!ScanInt(text, pos, out.value)) return 1;
  // The suffix is held in room for three characters: a fourth (which "%4s"
  // would still take) does not fit, and the sentence does not scan.
  std::string_view suffix;
  if (!ScanString(text, pos, 4, suffix) || suffix.size() > 3) return 2;
  out.suffix = suffix;
  return 3;
}

std::uint8_t ReceivedChecksum(std::string_view suffix) {
  const std::size_t digits = suffix.find_first_not_of('*');
  const std::string hex(digits == std::string_view::npos ? std::string_view() : suffix.substr(digits));
  return static_cast<std::uint8_t>(std::strtoul(hex.c_str(), nullptr, 16));
}

std::uint8_t ComputedChecksum(std::string_view text) {
  const std::size_t start = text.find_first_not_of('$');
  if (start == std::string_view::npos) return 0;
  text.remove_prefix(start);
  // Without an asterisk the whole text counts (such a sentence has no checksum
  // field, so it will not match).
  const std::size_t star = text.rfind('*');
  if (star != std::string_view::npos) text = text.substr(0, star);
  // Summed as wide characters, as the scan reads them.
  std::uint8_t sum = 0;
  for (const char c : text) sum ^= Ansi::WideLowByte(static_cast<unsigned char>(c));
  return sum;
}

CFramedSerialPacketManager::CFramedSerialPacketManager()
    : m_buffer(std::make_unique<unsigned char[]>(kHeaderSize + kMaxPayload)),
      m_start(ReadTimeB64()),
      m_pStallPing(std::make_unique<CSnsStreamStallPing>()) {
  Reset();
}

CFramedSerialPacketManager::~CFramedSerialPacketManager() = default;

void CFramedSerialPacketManager::Reset() {
  std::lock_guard guard(m_useLock);
  m_header = FramedPacketHeader{};
  std::fill_n(m_payload.begin(), kMaxRxPayload, 0);
  m_txLength = 0;
  m_rxLength = 0;
  m_bSendLocked = 1;
}

int CFramedSerialPacketManager::GetRxLength() {
  std::lock_guard guard(m_useLock);
  return m_rxLength;
}

void CFramedSerialPacketManager::SendPacket(const char* payload, int n, unsigned int /*usec*/, const TimeB64& now) {
  std::lock_guard guard(m_useLock);
  SendLocked(payload, n, now);
}

void CFramedSerialPacketManager::SendUnlocked(const char* payload, int n, unsigned int /*usec*/, const TimeB64& now) {
  std::lock_guard guard(m_useLock);
  m_header.m_start = 0;
  m_bSendLocked = 0;
  SendLocked(payload, n, now);
}

void CFramedSerialPacketManager::SendLocked(const char* payload, int n, const TimeB64& now) {
  // Longer payloads do not fit; the controller refuses such texts with a report.
  if (m_bSendLocked || n <= 0 || n > kMaxPayload || !payload) return;
  long long seconds = now.time - m_start.time;
  long long micros = static_cast<long long>(now.millitm) * 1000;
  seconds += micros / 1'000'000;
  micros %= 1'000'000;

  // Bytes 0, 1 and 4 stay as they are: reset, with byte 0 cleared by the sender.
  m_header.m_type = kPacketType;
  m_header.m_length = static_cast<std::uint16_t>(n + 12);
  m_header.m_seconds = static_cast<std::uint32_t>(seconds);
  m_header.m_microseconds = static_cast<std::uint32_t>(micros);
  std::memcpy(m_payload.data(), payload, static_cast<std::size_t>(n));
  WriteHeader(m_buffer.get(), m_header);
  std::memcpy(m_buffer.get() + kHeaderSize, m_payload.data(), static_cast<std::size_t>(n));
  m_txLength = n + kHeaderSize;
  if (m_pLink) m_pLink->Transmit(m_buffer.get(), m_txLength);
}

void CFramedSerialPacketManager::ReceivePacket(const unsigned char* data, int count) {
  Command command;
  {
    std::lock_guard guard(m_useLock);
    const int m = data ? std::clamp(count, 0, m_bufferSize) : 0;
    if (m > 0) std::memcpy(m_buffer.get(), data, static_cast<std::size_t>(m));
    m_rxLength = m;
    if (m < kHeaderSize) return;
    m_header = ReadHeader(m_buffer.get());
    const int p = std::clamp(static_cast<int>(m_header.m_length) - 12, 0, kMaxRxPayload);
    if (m < p + kHeaderSize) return;
    std::memcpy(m_payload.data(), m_buffer.get() + kHeaderSize, static_cast<std::size_t>(p));

    const auto* chars = reinterpret_cast<const char*>(m_payload.data());
    const std::string_view text(chars, strnlen(chars, static_cast<std::size_t>(p)));
    if (m_pLink) m_pLink->SetText(Ansi::ToUtf8(text));
    m_bSendLocked = 1;

    if (text.starts_with(kStallTag)) {
      command = ParseStallPing(text);
    } else if (text.starts_with(kTriggerTag)) {
      command = ParseTriggerPing(text);
    }
  }
  // Receivers may take their time and call back into the host; the stall-ping
  // record is written only here, on the one receiving thread.
  if (command.kind == kInfoStallPing) CNyxWnd::InfoMsg(kInfoStallPing, m_pStallPing.get());
  if (command.kind == kInfoTriggerPing) CNyxWnd::InfoMsg(kInfoTriggerPing, InfoValue(command.value));
  if (command.alarm == 3110) Nyx::Alarm(3110, 1, "UDP Stall Ping packet checksum incorrect");
  if (command.alarm == 3111) Nyx::Alarm(3111, 1, "UDP Trigger Ping packet checksum incorrect");
}

CFramedSerialPacketManager::Command CFramedSerialPacketManager::ParseStallPing(std::string_view text) {
  PingSentence sentence;
  if (ScanPingSentence(text, sentence) < 3 || sentence.tag != kStallTag) return {};
  const std::uint8_t received = ReceivedChecksum(sentence.suffix);
  const std::uint8_t stall = sentence.value != 0 ? 1 : 0;
  m_pStallPing->m_flagA = stall;
  m_pStallPing->m_flagB = stall;
  m_pStallPing->m_checksum = received;
  // The packet has no text or time of its own: the record keeps the sentence
  // and its arrival time, which is what a log of the requests wants.
  m_pStallPing->m_text = Ansi::ToUtf8(text);
  m_pStallPing->m_time = TmSync::GetTm();
  if (received != ComputedChecksum(text)) return {0, 0, 3110};
  return {kInfoStallPing, 0, 0};
}

CFramedSerialPacketManager::Command CFramedSerialPacketManager::ParseTriggerPing(std::string_view text) {
  PingSentence sentence;
  if (ScanPingSentence(text, sentence) < 3 || sentence.tag != kTriggerTag) return {};
  if (ReceivedChecksum(sentence.suffix) != ComputedChecksum(text)) return {0, 0, 3111};
  return {kInfoTriggerPing, sentence.value, 0};
}
