// The hub window's side of the sonar library: the message handler and the
// time callback (both on the library's thread), and the GPS-validity check
// the time callback runs.
#include <cmath>
#include <cstdio>

#include "host/report.h"
#include "sonar/hub_messages.h"
#include "sonar/ser_comm.h"
#include "sonar/sonar_library.h"

namespace {
constexpr int kRetryCode = 8;
constexpr std::uint16_t kAckRetry = 2;

// The PC's UTC time, for when the hub clock is not the source.
bool PcTime(std::string& text, std::uint32_t* seconds, std::uint32_t* microseconds) {
  const double now = TmSync::GetTm();
  const SYSTEMTIME utc = HostTimeToSystemTime(now);
  char line[40];
  std::snprintf(line, sizeof line, "%02d:%02d:%02d %02d/%02d/%04d", utc.wHour, utc.wMinute, utc.wSecond, utc.wDay,
                utc.wMonth, utc.wYear);
  text = line;
  if (seconds) *seconds = static_cast<std::uint32_t>(std::floor(now) + kHostEpochUnixSeconds);
  if (microseconds) *microseconds = static_cast<std::uint32_t>(utc.wMilliseconds) * 1000u;
  return false;
}
}  // namespace

void CSerComm::HubHandler(int kind, int length, const unsigned char* message) {
  if (!message || length < kHubIdAt + 2) return;
  HubSerialAck ack;
  {
    std::lock_guard windowGuard(s_windowLock);
    CSerComm* wnd = s_window;
    const std::uint16_t id = HubMessageId(message);
    if (kind == kHubStatusKind) {
      OnHubStatus(wnd, message, length);
      return;
    }
    if (CZepHubStatus* record = GetZepHubStatus(id, 0)) {
      ++record->m_messageCount;
      s_zepHubStLock.unlock();
    }
    if (!wnd || !wnd->CommsEnabled() || id != wnd->m_rxHubId.load()) return;
    if (kind == kHubDataKind) wnd->RxData(length, message);
    if (kind != kHubSerialAckKind || !ReadHubSerialAck(message, length, ack)) return;
  }
  // The retry goes out with no lock of ours held: a library may answer it at once.
  if (ack.status == kAckRetry) ZEPHUB_RequestRetry(HubMessageId(message), kRetryCode, ack.sequence);
}

void CSerComm::OnHubStatus(CSerComm* wnd, const unsigned char* message, int length) {
  HubStatusFields fields;
  const bool complete = ReadHubStatus(message, length, fields);
  CZepHubStatus* record = GetZepHubStatus(HubMessageId(message), 1);
  if (record) ++record->m_messageCount;
  // Every hub heard feeds the clock model, selected or not. The sample goes
  // in under the list lock: list lock before model lock.
  if (complete && wnd && wnd->CommsEnabled()) {
    wnd->m_commTime.m_pcBuf.Add(false, static_cast<double>(fields.deviceTimeUs) / 1e6, TmSync::GetTm());
  }
  if (!record) return;
  if (!complete) {
    s_zepHubStLock.unlock();
    return;
  }
  record->Update(fields, HubTickCount());
  int position = 0;
  for (CZepHubStatus* listed : s_zepHubStatus) {
    if (listed == record) break;
    ++position;
  }
  const std::string line = record->StatusLine(position);
  s_zepHubStLock.unlock();
  Nyx::Status(kHubLineId + position, 1, "%s", line.c_str());
}

void CSerComm::RxData(int length, const unsigned char* message) {
  if (!CommsEnabled()) return;
  const std::vector<SERIAL_BYTE_PACKET> items = ReadHubData(message, length);
  std::lock_guard guard(m_bytesLock);
  m_bytes.insert(m_bytes.end(), items.begin(), items.end());
}

void CSerComm::RxSerialAck(int length, const unsigned char* message) {
  HubSerialAck ack;
  if (!ReadHubSerialAck(message, length, ack)) return;
  if (ack.status == kAckRetry) ZEPHUB_RequestRetry(static_cast<int>(m_rxHubId.load()), kRetryCode, ack.sequence);
}

bool CSerComm::TimeSync(std::uint64_t deviceMicroseconds, std::uint32_t* seconds, std::uint32_t* microseconds) {
  std::lock_guard windowGuard(s_windowLock);
  if (s_window) return s_window->TimeSyncFor(deviceMicroseconds, seconds, microseconds);
  std::string text;
  return PcTime(text, seconds, microseconds);
}

bool CSerComm::TimeSyncFor(std::uint64_t deviceMicroseconds, std::uint32_t* seconds, std::uint32_t* microseconds) {
  const int timeSource = m_timeSourceSeen.load();
  // The check reads the ports; while the trigger is busy with them the last
  // result stands, so the library's thread never waits for decoding.
  {
    std::unique_lock state(m_stateLock, std::try_to_lock);
    if (state.owns_lock()) VerifyTimeSourceAs(timeSource);
  }
  std::string label = "PC(Local): ";
  std::string text;
  bool result = false;
  if (CommsEnabled() && timeSource == 0) {
    label = m_bGpsInvalid.load() == 0 ? "GPS: " : "PC(UTC): ";
    const CTm80 t = m_commTime.ConvertTime(static_cast<double>(deviceMicroseconds) / 1e6);
    const double whole = std::floor(t.GetValue());
    // Host time counts from 1980, the library's from 1970.
    if (seconds) *seconds = static_cast<std::uint32_t>(whole + kHostEpochUnixSeconds);
    if (microseconds) *microseconds = static_cast<std::uint32_t>((t.GetValue() - whole) * 1e6);
    text = t.FormatGmt("%H:%M:%S %d/%m/%Y");
    result = true;
  } else {
    result = PcTime(text, seconds, microseconds);
  }
  std::lock_guard guard(m_timeTextLock);
  m_timeText = label + text;
  return result;
}

void CSerComm::VerifyTimeSource() {
  std::lock_guard state(m_stateLock);
  VerifyTimeSourceAs(m_timeSource);
}

void CSerComm::VerifyTimeSourceAs(int timeSource) {
  if (timeSource == 1) return;
  for (unsigned i = 0; i < kHubPorts; ++i) {
    bool zda = false;
    const bool good = ZdaPortState(i, zda);
    if (!zda) continue;
    if (m_ports[i]->m_status == kLightGrey) {
      m_bGpsInvalid = 1;
    } else if (good) {
      m_bGpsInvalid = 0;
      return;
    }
  }
}

bool CSerComm::VerifyTimeSource(unsigned port) {
  std::lock_guard state(m_stateLock);
  bool zda = false;
  const bool good = port < kHubPorts && ZdaPortState(port, zda);
  if (zda && m_ports[port]->m_status == kLightGrey) {
    m_bGpsInvalid = 1;
  } else if (zda && good) {
    m_bGpsInvalid = 0;
    return true;
  }
  return m_timeSource == 1;
}

// Whether the port decodes ZDA (zda), and whether the pulse is good for it.
bool CSerComm::ZdaPortState(unsigned index, bool& zda) {
  CZepHubPort& port = *m_ports[index];
  {
    std::lock_guard guard(port.m_lock);
    zda = port.m_decode != 0 && port.m_pDecode && port.m_pDecode->m_name.find("ZDA") != std::string::npos;
  }
  return m_pps.m_sync > 0 && (m_pps.m_state == 1 || m_pps.m_state == 2);
}

int CSerComm::ZepConvertToTimestamp(const CZepPingHead* head, double& out) {
  if (!CommsEnabled() || !head) return 0;
  out = m_commTime.ConvertTime(static_cast<double>(head->PingTimeUs()) / 1e6).GetValue();
  return 1;
}

int CSerComm::ZepConvertToTimestamp(const CZepDMGData* data, double& out) {
  if (!CommsEnabled() || !data) return 0;
  out = m_commTime.ConvertTime(static_cast<double>(data->TimeUs()) / 1e6).GetValue();
  return 1;
}
