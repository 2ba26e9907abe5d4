#include "port/port.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <map>

#include "host/ansi_text.h"
#include "host/fixed_text.h"
#include "host/nyx_wnd.h"
#include "host/records.h"
#include "host/report.h"
#include "host/settings.h"
#include "port/codec_registry.h"

NYX_IMPLEMENT_DYNCREATE(CPort, CObject)

namespace {
constexpr int kRateSamples = 10;
constexpr int kAgeAlarmBase = 3010;

// The age alarms that are up, by id, with the port that raised them. Ports
// share ids (a sonar port's index is its sonar's identifier), so a port ends
// only the alarm it raised itself; an alarm whose port is gone (a line
// removed, "nPorts" 2 to 1) is ended by the next port of its id that finds
// its age within limits or does not decode. An alarm that is not up is not
// ended again, so the trigger does not report an end every time.
std::mutex g_ageAlarmLock;
std::map<int, const CPort*> g_ageAlarmsUp;  // null: its port is gone
}  // namespace

CPort::CPort() : m_rxBuffer(static_cast<std::size_t>(m_rxSize)) { m_rate.SetSize(kRateSamples); }

CPort::~CPort() {
  std::lock_guard guard(g_ageAlarmLock);
  for (auto& [id, raiser] : g_ageAlarmsUp) {
    if (raiser == this) raiser = nullptr;
  }
}

void CPort::Settings(CESetObj& obj) {
  obj.Item("EchoData", m_echoData);
  obj.Item("Baud", m_baud);
  obj.Item("DataBits", m_dataBits);
  obj.Item("Parity", m_parity);
  obj.Item("StopBits", m_stopBits);
  obj.Item("FlowControl", m_flowControl);
  obj.Item("Sync", m_sync);
  obj.Item("SyncChar", m_syncChar);
  obj.Item("Rx", m_rx);
  obj.Item("RxSize", m_rxSize);
  obj.Item("Bank", m_bank);
  obj.Item("AlarmAge", m_alarmAge);
  obj.Item("Decode", m_decode);
  obj.Item("Baud", m_baud);
  obj.Item("Format", m_format);
  obj.Item("ComPort", m_comPort);
  // A host in mode 1 neither stores nor loads an encoder choice.
  const bool noEncoder = Nyx::nyxMode == 1;
  if (noEncoder) m_encode = 0;
  obj.Item("Encode", m_encode);
  if (noEncoder) m_encode = 0;

  if (obj.IsLoading()) FitReceiveBuffer();
  if (m_pDecode) m_pDecode->Settings(obj);
  if (obj.IsLoading()) SetDecode();
  if (m_pEncode) m_pEncode->Settings(obj);
  if (obj.IsLoading()) SetEncode();
}

void CPort::FitReceiveBuffer() {
  m_rxSize = std::clamp(m_rxSize, 0, kMaxRxSize);
  if (static_cast<std::size_t>(m_rxSize) != m_rxBuffer.size()) {
    m_rxBuffer.assign(static_cast<std::size_t>(m_rxSize), 0);
    m_rxBuffer.shrink_to_fit();
  }
  if (m_fill >= m_rxSize) m_fill = 0;
}

void CPort::CfgBufSize(int, int size) {
  m_rxSize = size;
  m_fill = 0;
  FitReceiveBuffer();
}

void CPort::SetBaud() {
  if (m_pOwner) m_pOwner->SendBaud(m_index);
}

void CPort::SendData(const char* text) {
  if (m_pOwner) m_pOwner->SendData(m_index, text);
}

void CPort::SendData(TX_MSG* msg) {
  if (m_pOwner) m_pOwner->SendData(m_index, msg);
}

int CPort::FrameByte(double arrivalTime, unsigned char byte) {
  const double t = arrivalTime - m_charTime;
  if (m_sync != 0) return FrameAscii(t, byte);

  m_fill = 0;
  if (m_echoData) Nyx::Comms(0, "EComm %d: %1.4lf <0x%02x>", m_index + 1, arrivalTime, byte);
  if (!m_pDecode) return 0;
  std::string text;
  double time = t;
  if (!m_pDecode->DecodeByte(t, byte, text, time)) return 0;
  Decode(time, text);
  return 1;
}

std::size_t CPort::TakeMessageBytes(const unsigned char* bytes, std::size_t count) {
  const int fill = m_fill;
  if (m_sync == 0 || fill <= 0 || m_rxSize <= 0) return 0;
  // NewByte stores while fill + 1 stays below both the size and the buffer.
  const std::size_t limit = std::min(static_cast<std::size_t>(m_rxSize), m_rxBuffer.size());
  if (static_cast<std::size_t>(fill) + 1 >= limit) return 0;
  const std::size_t room = std::min(count, limit - 1 - static_cast<std::size_t>(fill));
  unsigned char* out = m_rxBuffer.data() + fill;
  const unsigned char sync = m_syncChar;
  std::size_t i = 0;
  if (sync == '\n') {
    // The usual terminator: one search and one copy.
    const void* end = std::memchr(bytes, '\n', room);
    i = end ? static_cast<std::size_t>(static_cast<const unsigned char*>(end) - bytes) : room;
    std::memcpy(out, bytes, i);
  } else {
    for (; i < room; ++i) {
      const unsigned char byte = bytes[i];
      if (byte == sync || byte == '\n') break;
      out[i] = byte;
    }
  }
  m_fill = fill + static_cast<int>(i);
  return i;
}

int CPort::FrameAscii(double t, unsigned char byte) {
  // Without a buffer there is nothing to frame into.
  if (m_rxBuffer.empty()) return 0;
  if (byte == m_syncChar) {
    if (m_fill == 0) m_msgTime = t;
    Ansi::ToUtf8(m_rxBuffer.data(), static_cast<std::size_t>(m_fill), m_frameText);
    m_fill = 0;
    if (m_pDecode) {
      Decode(m_msgTime, m_frameText);
    } else if (m_pEncode) {
      m_lastMsg = m_frameText;
    }
    return 1;
  }
  // With CR as the terminator the LF that follows it is dropped.
  if (byte == '\n' && m_syncChar == '\r') return 0;
  if (m_fill == 0) m_msgTime = t;
  m_rxBuffer[static_cast<std::size_t>(m_fill)] = byte;
  // No division per byte: the fill only wraps when it reaches the size.
  if (++m_fill >= m_rxSize) m_fill %= m_rxSize;
  return 0;
}

void CPort::Decode(double time, const std::string& msg) {
  m_lastMsg = msg;

  CSnsrInf raw;
  raw.m_time = time;
  raw.m_bank = static_cast<std::uint8_t>(m_index);
  raw.m_text.swap(m_rawText);
  raw.m_text.assign(msg);
  CNyxWnd::SnsrMsg(kSnsrInf, &raw);
  raw.m_text.swap(m_rawText);

  if (m_echoData) Nyx::Comms(0, "EComm %d: %s", m_index + 1, msg.c_str());
  if (!m_pDecode) {
    m_hz = "ND";
    m_status = kLightGrey;
    m_lastResult.reset();
    return;
  }

  const int result = m_pDecode->DecodeMsg(time, m_lastMsg, m_bank);
  m_lastResult = result;
  if (result == kDecodeForeign) return;
  if (result == kDecodeBad) {
    m_status = kLightRed;
    return;
  }
  if (result == kDecodeOk) {
    CountPrimary(time, m_pDecode->m_receivedParts, m_pDecode->m_expectedParts);
    return;
  }
  // A secondary part; only parts that fit the mask are counted.
  if (result < 2 || result > 31) return;
  const int bit = 1 << (result - 1);
  if (m_pDecode->m_receivedParts & bit) m_status = kLightYellow;  // arrived twice before the primary
  m_pDecode->m_receivedParts |= bit;
}

void CPort::CountPrimary(double time, int& receivedParts, int expectedParts) {
  if (m_lastTime != 0.0) m_rate.SetValue(time - m_lastTime);
  const double average = m_rate.GetAvg();
  if (average > 0.0) {
    // What "%1.1lf" prints into 64 bytes, without printf's cost on every message.
    char text[400];
    const char* end = FormatFixed(text, 1.0 / average, 1);
    m_hz.assign(text, std::min<std::size_t>(static_cast<std::size_t>(end - text), 63));
  } else {
    m_hz = "0.0";
  }
  m_lastTime = time;
  receivedParts |= 1;
  m_status = receivedParts == expectedParts ? kLightGreen : kLightYellow;
  receivedParts = 0;
}

void CPort::Encode(double, const std::string& msg) { m_lastMsg = msg; }

void CPort::UpdateUIAgeLEDHz(double now) {
  if (!m_pEncode) return;
  CountPrimary(now, m_pEncode->m_receivedParts, m_pEncode->m_expectedParts);
}

int CPort::SetDataAge(double now) {
  const int id = kAgeAlarmBase + static_cast<int>(m_index);
  if (m_decode == 0) {
    EndAgeAlarm(id);
    return 0;
  }
  if (now > m_lastTime) m_age = now - m_lastTime;
  if (m_age > m_alarmAge) {
    Nyx::Alarm(id, 3, "The data age of %1.1lfs has been exceeded. Age = %1.1lfs", m_alarmAge, m_age);
    {
      std::lock_guard guard(g_ageAlarmLock);
      g_ageAlarmsUp[id] = this;
    }
    if (m_status != kLightGrey) {
      m_status = kLightGrey;
      return 1;
    }
    return 0;
  }
  EndAgeAlarm(id);
  return 1;
}

void CPort::EndAgeAlarm(int id) {
  {
    std::lock_guard guard(g_ageAlarmLock);
    const auto it = g_ageAlarmsUp.find(id);
    if (it == g_ageAlarmsUp.end() || (it->second != this && it->second != nullptr)) return;
    g_ageAlarmsUp.erase(it);
  }
  Nyx::EndAlarm(id);
}

void CPort::Enable(int on) {
  m_status = kLightGrey;
  std::lock_guard guard(m_lock);
  if (m_pDecode) m_pDecode->Enable(on);
  if (m_pEncode) m_pEncode->Enable(on);
}

void CPort::SetDecode() {
  const int count = static_cast<int>(CCodecRegistry::s_decodes.GetCount());
  if (m_decode > count || m_decode < 0) m_decode = 0;
  if (m_pDecode && m_pDecode->m_typeIndex == m_decode) return;

  std::lock_guard guard(m_lock);
  m_status = kLightGrey;
  std::unique_ptr<CDecode> decoder;
  if (m_decode >= 1) {
    const CDecodeType* type = CCodecRegistry::s_decodes[static_cast<std::size_t>(m_decode - 1)];
    decoder.reset(static_cast<CDecode*>(type->m_pClass->CreateObject()));
    decoder->m_pPort = this;
    decoder->m_typeIndex = m_decode;
  } else {
    decoder = std::make_unique<CDecode>();
  }
  m_pDecode = std::move(decoder);
  if (m_pOwner) m_pOwner->PortUpdated(*this);
}

void CPort::SetEncode() {
  if (m_encode == 0) return;  // an existing encoder stays; its users test "Encode"
  const int count = static_cast<int>(CCodecRegistry::s_encodes.GetCount());
  if (m_encode > count || m_encode < 0) m_encode = 0;
  if (m_pEncode && m_pEncode->m_typeIndex == m_encode) return;

  // An open line's writer thread uses the encoder under this lock.
  std::lock_guard guard(m_lock);
  m_status = kLightGrey;
  std::unique_ptr<CEncode> encoder;
  if (m_encode >= 1) {
    const CEncodeType* type = CCodecRegistry::s_encodes[static_cast<std::size_t>(m_encode - 1)];
    encoder.reset(static_cast<CEncode*>(type->m_pClass->CreateObject()));
    encoder->m_typeIndex = m_encode;
  } else {
    encoder = std::make_unique<CEncode>();
  }
  m_pEncode = std::move(encoder);
}
