// Owns the status snapshot of the running station: every line's and sonar
// port's light, rate, age and last message, the UDP link, the active alarms
// and the records so far, and its delivery once a second.
#include <algorithm>
#include <cstdio>

#include "comms/serial_comms.h"
#include "host/host_time.h"
#include "net/udp_controller.h"
#include "sonar/ser_comm.h"
#include "nyxhost/host_outputs.h"
#include "nyxhost/host_runner.h"
#include "port/com_port_map.h"

namespace {

// A port's light, rate, age and last message; the caller names it.
PortStatus PortStatusOf(const CPort& port, double now) {
  PortStatus status;
  // By the registry's names, which are the ones the operator gives.
  if (port.m_pDecode) {
    const CDecodeType* type = CEComm::FindDecode(std::to_string(port.m_decode));
    status.decoder = type ? type->m_name : port.m_pDecode->m_name;
  } else if (port.m_pEncode) {
    const CEncodeType* type = CEComm::FindEncode(std::to_string(port.m_encode));
    status.decoder = "out: " + (type ? type->m_name : port.m_pEncode->m_name);
  }
  status.light = port.m_status;
  status.hz = port.m_hz;
  // As of now rather than of the last trigger, which may not have aged a fresh message yet.
  if (port.m_lastTime > 0.0) status.age = std::max(0.0, now - port.m_lastTime);
  status.last = port.m_lastMsg;
  return status;
}

}  // namespace

StationStatus HostRunner::Status() {
  StationStatus status;
  using Clock = std::chrono::steady_clock;
  if (const Clock::rep start = m_runStart; start != 0) {
    const Clock::rep end = m_runEnd;
    const Clock::duration ran = (end != 0 ? Clock::duration(end) : Clock::now().time_since_epoch()) - Clock::duration(start);
    status.elapsed = std::chrono::duration<double>(ran).count();
  }
  status.triggers = m_triggers;
  std::optional<std::uint16_t> hubSelected;  // the first hub window's "Hub ID"
  {
    std::lock_guard guard(CNyxWnd::HostLock());
    const double now = TmSync::GetTm();
    for (std::size_t w = 0; w < m_windows.size(); ++w) {
      const std::string& windowName = m_station.windows[w].name;
      if (const auto* serial = dynamic_cast<const CSComm*>(m_windows[w].get())) {
        for (std::size_t i = 0; i < serial->GetLineCount(); ++i) {
          const CSPort& line = *serial->GetLine(i);
          // A spare line (no port, no codec) has nothing to show.
          if (line.m_commPort <= 0 && line.m_port.m_decode == 0 && line.m_port.m_encode == 0) continue;
          PortStatus port = PortStatusOf(line.m_port, now);
          port.window = windowName;
          if (line.m_commPort > 0) {
            port.name = "COM" + std::to_string(line.m_commPort);
            port.device = line.m_deviceName.empty() ? ComPortMap::Path(line.m_commPort) : line.m_deviceName;
          } else {
            port.name = "Line " + std::to_string(i + 1);
          }
          status.ports.push_back(std::move(port));
        }
        // Sonar-routed ports show once they decode.
        for (std::size_t p = 0; p < serial->Sonar().Ports().size(); ++p) {
          const CPort& zep = serial->Sonar().Port(p);
          if (zep.m_decode == 0) continue;
          PortStatus port = PortStatusOf(zep, now);
          port.window = windowName;
          char name[32];
          std::snprintf(name, sizeof name, "ZepPort%02d:Serial%02d", static_cast<int>(p / 2 + 1), static_cast<int>(p % 2));
          port.name = name;
          status.ports.push_back(std::move(port));
        }
      } else if (auto* hub = dynamic_cast<CSerComm*>(m_windows[w].get())) {
        // Hub ports show once they decode or echo.
        for (unsigned p = 0; p < CSerComm::kHubPorts; ++p) {
          const CZepHubPort& zep = hub->HubPort(p);
          if (zep.m_decode == 0 && !zep.IsEcho()) continue;
          PortStatus port = PortStatusOf(zep, now);
          port.window = windowName;
          port.name = std::string("Hub ") + static_cast<char>('A' + p);
          if (zep.IsEcho()) port.decoder = std::string("echo of ") + static_cast<char>('A' + zep.EchoSource());
          status.ports.push_back(std::move(port));
        }
        if (!hubSelected) hubSelected = hub->m_hubId;
      } else if (const auto* udp = dynamic_cast<const CUDPController*>(m_windows[w].get())) {
        const UdpEndpoint end = udp->m_pLink->GetEndpoint();
        std::string text = windowName + ": " + (udp->m_bEnableUDP ? "enabled" : "disabled") + ", receiving on port " +
                           std::to_string(end.dstPort) + (udp->m_pLink->m_bRxReady ? "" : " (not bound)") +
                           ", sending to " + end.host + ":" + std::to_string(end.dstPort) + " from port " +
                           std::to_string(end.srcPort) + "; last text: " + udp->m_pLink->GetText();
        status.links.push_back(std::move(text));
      }
    }
  }
  if (hubSelected) {
    const std::uint16_t selected = hubSelected.value_or(0);
    int position = 0;
    for (const CZepHubStatus& heard : CSerComm::HubSnapshot()) {
      char address[20];
      std::snprintf(address, sizeof address, "%u.%u.%u.%u", heard.m_fixedIp[3], heard.m_fixedIp[2], heard.m_fixedIp[1],
                    heard.m_fixedIp[0]);
      status.hubs.push_back({++position, heard.m_id, address, heard.m_supplyCentivolts / 100.0, heard.m_temperature1,
                             heard.m_messageCount, heard.m_id == selected});
    }
  }
  status.alarms = m_alarms->Active();
  status.records = m_tally->Counts();
  return status;
}

void HostRunner::PublishStatus() {
  const StationStatus status = Status();
  if (m_statusFile) {
    m_statusFile->WriteLine(StatusJsonLine(status));
    m_statusFile->Flush();
  }
  if (m_statusListener) m_statusListener(status);
  for (const auto& service : m_services) service->OnStatus(status);
}
