// The library's thread hands in serial-data messages, status packets and
// pulse edges; the trigger drains the queued bytes into the sonar ports, ages
// them and keeps their clock models; the host configures the heads' ports
// through the sonar library.
#include "sonar/sonar_ports.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "host/controls.h"
#include "host/host_time.h"
#include "host/nyx_comm.h"
#include "host/report.h"
#include "host/task.h"
#include "port/line_owner.h"
#include "sonar/sonar_library.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"

namespace {

constexpr const char* kSonarTaskType = "Zephra";
// Info and status kinds of the sonar side.
constexpr unsigned char kStatusKindSonar = 0;
constexpr unsigned char kStatusKindSonarAlt = 2;
constexpr int kByteCountStatusId = 3021;
// Platform flag bits of the sonar task.
constexpr std::uint32_t kPlatformBit = 1;
constexpr std::uint32_t kMk2PlatformBit = 2;
// The port's "Format" combo index and the library's protocol codes.
constexpr int kFormatRs485 = 1;
constexpr int kLibraryRs232 = 0;
constexpr int kLibraryRs485 = 4;
// Operator level from which the loopback test output runs.
constexpr int kLoopbackLevel = 4;
constexpr std::size_t kLoopbackSize = 82;
constexpr const char* kLoopbackSentence =
    "$GPGGA,%02d%02d%02d,4722.68462,N,00813.94875,E,2,07,1.4,0.0,M,0.0,M,%04d,0362*59\r\n";

constexpr double kMicroseconds = 1e6;

std::size_t PortAt(int slot, int serialIndex) { return static_cast<std::size_t>(2 * slot + serialIndex); }

}  // namespace

CSonarPorts::CSonarPorts(CNyxComm& window, const ILineOwner& comms, CECommTime& defaultTime, CPulsePerSecond& pps)
    : m_window(window), m_comms(comms), m_defaultTime(defaultTime), m_pps(pps) {}

void CSonarPorts::AttachPorts() {
  for (int p = 0; p < kSonarPorts; ++p) {
    m_ports[static_cast<std::size_t>(p)].m_pOwner = &m_window;
    SetPortIdentifier(p / 2, p % 2, static_cast<unsigned>(p / 2));
  }
}

void CSonarPorts::Enable(int on) {
  for (CZepPort& port : m_ports) port.Enable(on);
}

unsigned CSonarPorts::GetNumberSerialPorts(int slot) const {
  return slot >= 0 && slot < kSonarSlots ? m_serialPortCounts[static_cast<std::size_t>(slot)].load() : 1u;
}

void CSonarPorts::EnableCtrl(CECtrl* ctrl, bool on) {
  if (!ctrl) return;
  ctrl->SetFlag(kCtrlEnabled, on);
  if (m_window.WindowExists()) ctrl->Redraw();
}

void CSonarPorts::ShowCtrl(CECtrl* ctrl, bool on) {
  if (!ctrl) return;
  ctrl->SetFlag(kCtrlShown, on);
  if (m_window.WindowExists()) ctrl->Redraw();
}

void CSonarPorts::UpdateAllControl(int k, int j, bool on) {
  if (k < 0 || k >= kSonarSlots || j < 0 || j > 1) return;
  CZepPort& port = m_ports[PortAt(k, j)];
  const bool twoPorts = m_serialPortCounts[static_cast<std::size_t>(k)] > 1;
  EnableCtrl(port.m_pBaudCtrl, on);
  EnableCtrl(port.m_pRoutingCtrl, on);
  EnableCtrl(port.m_pFormatCtrl, on && twoPorts);
  const bool available = j == 0 || twoPorts;
  port.m_lastMsg = available ? "" : "Not available for this product";
  for (CECtrl* ctrl : port.m_decodeCtrls) EnableCtrl(ctrl, available);
}

void CSonarPorts::UpdateDecodingControls(int k, int j, bool on) {
  if (k < 0 || k >= kSonarSlots || j < 0 || j > 1) return;
  for (CECtrl* ctrl : m_ports[PortAt(k, j)].m_decodeCtrls) EnableCtrl(ctrl, on);
}

void CSonarPorts::Queue(const SERIAL_BYTE_PACKET& packet) {
  std::lock_guard guard(m_bytesLock);
  m_bytes.push_back(packet);
}

std::vector<SERIAL_BYTE_PACKET> CSonarPorts::Queued() const {
  std::lock_guard guard(m_bytesLock);
  return {m_bytes.begin(), m_bytes.end()};
}

std::vector<SERIAL_BYTE_PACKET> CSonarPorts::TakeQueued() {
  std::lock_guard guard(m_bytesLock);
  std::vector<SERIAL_BYTE_PACKET> out(m_bytes.begin(), m_bytes.end());
  m_bytes.clear();
  return out;
}

void CSonarPorts::SetPortIdentifier(int slot, int serialIndex, unsigned sonarId) {
  m_ports[PortAt(slot, serialIndex)].m_index = sonarId;
  if (serialIndex == 0) m_slotIds[static_cast<std::size_t>(slot)] = sonarId;
}

int CSonarPorts::FindSonarSlot(std::uint16_t sonarId) const {
  int slot = -1;
  for (int k = 0; k < kSonarSlots; ++k) {
    if (static_cast<std::uint16_t>(m_slotIds[static_cast<std::size_t>(k)].load()) == sonarId) slot = k;
  }
  return slot;
}

void CSonarPorts::ZepRxData(int length, const CZepNetMsg* msg) {
  if (msg == nullptr || !m_comms.CommsEnabled()) return;
  const int slot = FindSonarSlot(msg->SonarId());
  if (slot < 0) return;
  // Read outside the lock: the trigger waits on it.
  const std::vector<ZepSerialItem> items = msg->Items(length);
  if (items.empty()) return;
  std::lock_guard guard(m_bytesLock);
  for (const ZepSerialItem& item : items) {
    m_bytes.push_back(SERIAL_BYTE_PACKET::Make(static_cast<unsigned char>(PortAt(slot, item.serialIndex)),
                                                    item.data, item.timeUs));
  }
}

// An edge goes into the byte queue, so that the trigger takes it in its
// order among the bytes. Only sonars with a slot are heard, as for their data.
void CSonarPorts::OnPpsEdge(std::uint16_t sonarId, std::uint64_t deviceMicroseconds, unsigned char edge) {
  if (!m_comms.CommsEnabled() || FindSonarSlot(sonarId) < 0) return;
  std::lock_guard guard(m_bytesLock);
  m_bytes.push_back(
      SERIAL_BYTE_PACKET::Make(SERIAL_BYTE_PACKET::kPpsPort, edge, deviceMicroseconds & kDeviceTimeMask));
}

void CSonarPorts::ZepRxStatus(const CZepStatusPacket* packet) {
  if (packet == nullptr) return;
  if (packet->Kind() != kStatusKindSonar && packet->Kind() != kStatusKindSonarAlt) return;
  const std::uint16_t id = packet->SonarId();
  if (id == 0) return;
  const bool mk2 = CTask::IsMk2Platform(packet->TypeCode());
  CTaskData* data = m_pTask ? m_pTask->GetData() : nullptr;
  if (data == nullptr) return;

  bool changed = false;
  if (data->m_platformLock == 0) {
    const std::uint32_t bit = mk2 ? kMk2PlatformBit : kPlatformBit;
    if ((data->m_platformFlags & bit) == 0) {
      data->m_platformFlags |= bit;
      std::lock_guard guard(m_platformChangedLock);
      m_platformChanged = true;
      changed = true;
    }
  }
  int slot = -1;
  for (int k = 0; k < kSonarSlots; ++k) {
    const CSonarEntry& entry = data->m_sonars[static_cast<std::size_t>(k)];
    if (entry.m_id != id) continue;
    slot = k;
    const unsigned count = CTask::Is310XR(packet->TypeCode()) ? 2 : 1;
    if (m_serialPortCounts[static_cast<std::size_t>(k)].exchange(count) != count) changed = true;
    if (m_slotIds[static_cast<std::size_t>(k)].exchange(entry.m_id) != entry.m_id) changed = true;
  }
  if (m_comms.CommsEnabled()) {
    const double sonarSeconds = static_cast<double>(packet->SonarTimeUs()) / kMicroseconds;
    const double hostSeconds = TmSync::GetTm();
    if (slot >= 0 && packet->HasTimeSync()) {
      m_ports[PortAt(slot, 0)].m_commTime.m_pcBuf.Add(false, sonarSeconds, hostSeconds);
      m_ports[PortAt(slot, 1)].m_commTime.m_pcBuf.Add(false, sonarSeconds, hostSeconds);
    }
    m_defaultTime.m_pcBuf.Add(false, sonarSeconds, hostSeconds);
  }
  if (changed) {
    std::lock_guard guard(m_idsChangedLock);
    m_idsChanged = true;
  }
}

int CSonarPorts::ZepConvertToTimestamp(const CZepPingHead* head, double& out) {
  if (head == nullptr) return 0;
  return ZepConvertToTimestamp(static_cast<double>(head->PingTimeUs()) / kMicroseconds, head->SonarId(), out);
}

int CSonarPorts::ZepConvertToTimestamp(const CZepDMGData* data, double& out) {
  if (data == nullptr) return 0;
  return ZepConvertToTimestamp(static_cast<double>(data->TimeUs()) / kMicroseconds, data->SonarId(), out);
}

int CSonarPorts::ZepConvertToTimestamp(double seconds, unsigned short sonarId, double& out) {
  if (!m_comms.CommsEnabled() || !(seconds > 0.0)) return 0;
  const int slot = FindSonarSlot(sonarId);
  CECommTime& model = slot >= 0 ? m_ports[PortAt(slot, 0)].m_commTime : m_defaultTime;
  out = model.ConvertTime(seconds).GetValue();
  return 1;
}

void CSonarPorts::InitZepRS232(int sonarId) {
  for (int k = 0; k < kSonarSlots; ++k) {
    for (int j = 0; j < 2; ++j) {
      CZepPort& port = m_ports[PortAt(k, j)];
      if (static_cast<int>(port.m_index) != sonarId) continue;
      const int baud = static_cast<int>(port.GetBaud());
      const int protocol = port.m_format == kFormatRs485 ? kLibraryRs485 : kLibraryRs232;
      int local = 1;
      if (port.GetRouting()) {
        port.m_libraryHandle = ZEPX_InitComPort(sonarId, 0, baud, 0, 0, j);
      } else {
        port.m_libraryHandle = ZEPX_InitComPort(sonarId, port.m_routing, baud, 0, 1, j);
        local = 0;
      }
      // The head's network link follows its first serial port.
      if (j == 0) {
        ZEPX_SetNetworkConfigToDefaults(sonarId);
        ZEPX_SetNetworkRS232BaudRate(sonarId, baud);
        ZEPX_SetNetworkRS232Routing(sonarId, protocol, local);
        ZEPX_SendZephraNetworkConfig(sonarId);
      }
      ZEPX_SetSerialRS232BaudRate(sonarId, j, baud);
      ZEPX_SetSerialRS232TimeStamps(sonarId, j, local);
      ZEPX_SendZephraSerialConfig(sonarId, j);
    }
  }
}

void CSonarPorts::OnZepRouting() {
  for (int p = 0; p < kSonarPorts; ++p) {
    CZepPort& port = m_ports[static_cast<std::size_t>(p)];
    const bool shown = port.GetRouting();
    for (CECtrl* ctrl : port.m_decodeCtrls) ShowCtrl(ctrl, shown);
    // The routing itself reaches the sonar only through InitZepRS232.
    if (port.m_libraryHandle != 0) {
      const int baud = static_cast<int>(port.GetBaud());
      port.m_libraryHandle = ZEPX_InitComPort(static_cast<int>(port.m_index), 0, baud, 0, 0, p % 2);
    }
  }
}

void CSonarPorts::SendZepData(int sonarId, TX_MSG* msg, int serialIndex) {
  if (msg == nullptr || msg->m_nLength < 0 || (msg->m_nLength > 0 && msg->m_pData == nullptr)) return;
  if (!m_comms.CommsEnabled() || m_sonarActive.load() == 0) return;
  ZEPX_SendRS232Ex(sonarId, msg->m_nLength, msg->m_pData, serialIndex);
  const std::string text = msg->m_nLength > 0 ? std::string(msg->m_pData, static_cast<std::size_t>(msg->m_nLength))
                                              : std::string();
  Nyx::Comms(1, "ID%d: %d bytes <%s>", sonarId, msg->m_nLength, text.c_str());
}

void CSonarPorts::SendLoopbackData(int sonarId, double, int serialIndex) {
  const SYSTEMTIME local = GetLocalTime();
  char sentence[kLoopbackSize];
  const int length = std::snprintf(sentence, sizeof sentence, kLoopbackSentence, local.wHour, local.wMinute,
                                   local.wSecond, local.wMilliseconds);
  if (length <= 0) return;
  TX_MSG msg;
  msg.m_pData = sentence;
  msg.m_nLength = std::min(length, static_cast<int>(sizeof sentence) - 1);
  SendZepData(sonarId, &msg, serialIndex);
}

void CSonarPorts::UpdateZephraIDs(bool enable) {
  // One slot counter for every sonar task, so only the first one fills slots.
  int slot = 0;
  for (CTskInf* task : CTask::s_tasks) {
    const CTaskData* data = task->GetData();
    if (data == nullptr || data->m_typeName != kSonarTaskType) continue;
    for (unsigned k = 0; k < data->m_sonars.size() && slot < kSonarSlots; ++k, ++slot) {
      for (int j = 0; j < 2; ++j) {
        CZepPort& port = m_ports[PortAt(slot, j)];
        if (k < data->m_sonarCount) {
          const unsigned id = data->m_sonars[k].m_id;
          SetPortIdentifier(slot, j, id);
          port.m_label = " " + std::to_string(id);
          port.m_comPort = std::to_string(j);
          if (port.m_pLabelCtrl) port.m_pLabelCtrl->SetFlag(kCtrlMarked, false);
          UpdateAllControl(slot, j, static_cast<unsigned>(j) < GetNumberSerialPorts(slot) && enable);
        } else if (port.m_pLabelCtrl) {
          // An empty slot.
          port.m_pLabelCtrl->SetFlag(kCtrlMarked, true);
        }
      }
    }
  }
  m_window.LayoutWnd(0);
}

int CSonarPorts::DrainBytes() {
  int changed = 0;
  int count = 0;
  double last = 0.0;
  {
    // Records go to the host under its lock; taking it first keeps one lock
    // order (host, then the byte queue) whoever runs the trigger.
    std::lock_guard host(CNyxWnd::HostLock());
    std::lock_guard guard(m_bytesLock);
    for (const SERIAL_BYTE_PACKET& packet : m_bytes) {
      const double deviceMicroseconds = static_cast<double>(packet.TimeUs());
      last = deviceMicroseconds / kMicroseconds;
      if (packet.Port() < kSonarPorts) {
        CZepPort& port = m_ports[packet.Port()];
        last = port.m_commTime.ConvertTime(last).GetValue();
        port.m_portClock = last;
        port.m_triggersSinceByte = 0;
        changed += port.NewByte(last, packet.Data());
      } else if (packet.IsPpsEdge()) {
        changed += m_pps.NewEdge(last, deviceMicroseconds, packet.Data());
      }
      ++count;
    }
    m_bytes.clear();
  }
  if (count > 0) Nyx::Status(kByteCountStatusId, 2, "SComm RxData Read %3d bytes last time = %1.3lf", count, last);
  return changed;
}

int CSonarPorts::ServicePorts(double now, double dt) {
  int changed = 0;
  const bool loopback = Nyx::nyxLevel.load() >= kLoopbackLevel;
  for (int k = 0; k < kSonarSlots; ++k) {
    for (int j = 0; j < 2; ++j) {
      CZepPort& port = m_ports[PortAt(k, j)];
      changed += port.OnTrigger(now, dt);
      if (loopback && port.m_routing == CZepPort::kRouteLoopback) SendLoopbackData(static_cast<int>(port.m_index), now, j);
    }
  }
  return changed;
}

void CSonarPorts::TakeChanges() {
  bool idsChanged = false;
  {
    std::lock_guard guard(m_idsChangedLock);
    idsChanged = std::exchange(m_idsChanged, false);
  }
  if (idsChanged) {
    // A status packet may have moved a slot's identifier; its port follows.
    for (int k = 0; k < kSonarSlots; ++k) m_ports[PortAt(k, 0)].m_index = m_slotIds[static_cast<std::size_t>(k)];
    UpdateZephraIDs(m_sonarActive.load() == 0);
  }
  bool platformChanged = false;
  {
    std::lock_guard guard(m_platformChangedLock);
    platformChanged = std::exchange(m_platformChanged, false);
  }
  if (platformChanged) CNyxWnd::InfoMsg(kInfoSonarPlatformChanged, nullptr);
}
