// Owns the station's set-up and keeping: the station from its file and the
// command line, the windows made by runtime class, the serial window's lines
// (how many, and what the command line sets on them), the windows' options,
// stored settings and panel entries, and the station file written at the end.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>

#include "comms/serial_comms.h"
#include "host/settings.h"
#include "host/report.h"
#include "net/udp_controller.h"
#include "sonar/ser_comm.h"
#include "nyxhost/host_runner.h"
#include "port/com_port_map.h"

namespace {

bool SetupParseInt(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

std::string ComText(int com, const std::string& path) { return "COM" + std::to_string(com) + " (" + path + ")"; }

}  // namespace

int HostRunner::PrepareStation(const CESet& settings, std::string& error) {
  if (m_config.settings.empty()) {
    m_station = DefaultStation();
  } else if (!ReadStation(settings, m_station, error)) {
    error = m_config.settings + ": " + error;
    return kHostFileError;
  }
  if (m_config.triggerHz) m_station.triggerHz = *m_config.triggerHz;
  if (m_config.pollHz) m_station.pollHz = *m_config.pollHz;
  for (const auto& [com, path] : m_config.comPaths) m_station.comPaths[com] = path;
  if ((!m_config.lines.empty() || m_config.sonarSim > 0) && !m_station.FindClass(Station::kSerialClass)) {
    m_station.Add(Station::kSerialClass, Station::kSerialName);
  }

  m_hubAdded = m_config.HubAsked() && !m_station.FindClass(kHubClass);
  if (m_hubAdded) m_station.Add(kHubClass, kHubName);

  const HostUdpConfig& udp = m_config.udp;
  if (udp.Asked()) {
    StationWindow* window = m_station.FindClass(kUdpClass);
    const bool added = window == nullptr;
    if (added) window = &m_station.Add(kUdpClass, kUdpName);
    // A new controller gets its whole end point, so that the file shows it.
    const CUDPLink defaults;
    if (added || udp.host) window->SetControl(kUdpHostCtrl, udp.host.value_or(defaults.m_host));
    if (added || udp.srcPort) window->SetControl(kUdpSrcPortCtrl, std::to_string(udp.srcPort.value_or(defaults.m_srcPort)));
    if (added || udp.dstPort) window->SetControl(kUdpDstPortCtrl, std::to_string(udp.dstPort.value_or(defaults.m_dstPort)));
    if (added || udp.enable) window->SetControl(kUdpEnableCtrl, udp.enable ? "1" : "0");
  }
  return kHostOk;
}

int HostRunner::CreateWindows(std::string& error) {
  std::lock_guard guard(CNyxWnd::HostLock());
  for (const StationWindow& entry : m_station.windows) {
    CObject* object = CRuntimeClass::CreateObject(entry.className);
    auto* window = dynamic_cast<CNyxWnd*>(object);
    if (!window) {
      delete object;
      error = "window '" + entry.name + "': cannot create a window of class '" + entry.className + "'";
      return kHostFileError;
    }
    m_windows.emplace_back(window);
    if (!m_window && (m_window = dynamic_cast<CSComm*>(window))) m_serialName = entry.name;
    if (!m_udp) m_udp = dynamic_cast<CUDPController*>(window);
    if (!m_hub) m_hub = dynamic_cast<CSerComm*>(window);
  }
  return kHostOk;
}

// Lines come from the settings file first (Port01, Port02, ...), then one
// for every COM number on the command line that the file does not hold.
void HostRunner::CountLines(const CESet& settings) {
  const std::vector<int> fileComs = CSComm::StoredComPorts(settings);
  m_fileLines = fileComs.size();
  std::size_t lineCount = fileComs.size();
  for (const HostLineConfig& line : m_config.lines) {
    if (std::find(fileComs.begin(), fileComs.end(), line.com) == fileComs.end()) ++lineCount;
  }
  lineCount = std::max(lineCount, m_config.minLines);
  // Lines the station counts beyond the file's (left off) take the new ones first.
  StationWindow& serial = *m_station.Find(m_serialName);
  int stored = 0;
  if (const std::string* value = serial.Option("nPorts"); value && CEComm::ReadOneInteger(*value, stored) && stored > 0) {
    lineCount = std::max(lineCount, static_cast<std::size_t>(stored));
  }
  serial.SetOption("nPorts", std::to_string(lineCount));
}

void HostRunner::LoadWindows(CESet& settings, bool targets) {
  std::lock_guard guard(CNyxWnd::HostLock());
  // Names first, so that an option naming another window ("SonarPorts") finds it.
  for (std::size_t i = 0; i < m_windows.size(); ++i) m_windows[i]->SetOption("Name", m_station.windows[i].name);
  for (std::size_t i = 0; i < m_windows.size(); ++i) {
    CNyxWnd& window = *m_windows[i];
    for (const auto& [key, value] : m_station.windows[i].options) window.SetOption(key, value);
    // The target task lives as long as this run; the station does not keep it.
    if (targets && (&window == m_window || &window == m_udp)) window.SetOption("Task", kTargetTask);
  }
  if (!m_config.settings.empty()) {
    CESetCol* hostColumn = settings.GetCol(kHostColumn);
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
      const std::string& name = m_station.windows[i].name;
      CESetObj* own = hostColumn ? hostColumn->GetObj(name) : nullptr;
      CESetObj bare(settings, name, "");
      m_windows[i]->Settings(own ? *own : bare);
    }
  }
}

int HostRunner::ResolveLines(std::string& error) {
  m_resolved.clear();
  for (const HostLineConfig& config : m_config.lines) {
    ResolvedLine resolved;
    resolved.config = &config;
    const std::string com = "COM" + std::to_string(config.com);
    if (!config.decode.empty()) {
      const CDecodeType* type = CEComm::FindDecode(config.decode);
      if (!type) {
        error = "unknown decoder '" + config.decode + "' for " + com + " (nyxdecode --list prints the names)";
        return kHostOptionError;
      }
      resolved.decode = type->m_index;
    }
    if (!config.encode.empty()) {
      const CEncodeType* type = CEComm::FindEncode(config.encode);
      if (!type) {
        error = "unknown encoder '" + config.encode + "' for " + com + " (nyxdecode --list prints the names)";
        return kHostOptionError;
      }
      resolved.encode = type->m_index;
    }
    if (!config.syncChar.empty()) {
      long long code = -1;
      if (!SetupParseInt(config.syncChar, code)) {
        code = m_window->FindSyncChar(config.syncChar);
        if (code < 0 && config.syncChar.size() == 1) code = static_cast<unsigned char>(config.syncChar[0]);
      }
      if (code < 0 || code > 255) {
        error = "--sync-char " + std::to_string(config.com) + "=" + config.syncChar +
                ": give a code from 0 to 255, a name such as <CR>, or one character";
        return kHostOptionError;
      }
      resolved.syncChar = static_cast<unsigned char>(code);
    }
    m_resolved.push_back(resolved);
  }
  return kHostOk;
}

void HostRunner::ApplyLines() {
  if (!m_window) return;
  std::lock_guard guard(CNyxWnd::HostLock());
  std::size_t next = m_fileLines;
  for (const ResolvedLine& resolved : m_resolved) {
    const HostLineConfig& config = *resolved.config;
    // The file's line of that COM number, else the next line after the file's.
    std::size_t index = m_window->GetLineCount();
    for (std::size_t i = 0; i < m_fileLines && i < m_window->GetLineCount(); ++i) {
      if (m_window->GetLine(i)->m_commPort == config.com) {
        index = i;
        break;
      }
    }
    if (index == m_window->GetLineCount() && next < m_window->GetLineCount()) index = next++;
    if (index == m_window->GetLineCount()) continue;

    CSPort& line = *m_window->GetLine(index);
    if (resolved.decode) line.m_port.m_decode = *resolved.decode;
    if (resolved.encode) line.m_port.m_encode = *resolved.encode;
    if (resolved.syncChar) line.m_port.m_syncChar = *resolved.syncChar;
    if (config.baud) line.m_dcb.BaudRate = *config.baud;
    line.m_commPort = config.com;
    line.m_port.SetDecode();
    line.m_port.SetEncode();
    if (line.m_port.m_decode != 0 && line.m_port.m_encode != 0) {
      std::fprintf(stderr, "nyxhost: COM%d decodes and encodes; a line that decodes only reads\n", config.com);
    }
    line.SetComm(config.com);
  }
}

// The station's panel entries, set as an operator would once the panels exist.
void HostRunner::ApplyControls() {
  std::lock_guard guard(CNyxWnd::HostLock());
  for (std::size_t i = 0; i < m_windows.size(); ++i) {
    const StationWindow& entry = m_station.windows[i];
    for (const auto& [label, value] : entry.controls) {
      if (!m_windows[i]->SetCtrlValue(label, value)) {
        std::fprintf(stderr, "nyxhost: window '%s' has no control '%s' that takes '%s'\n", entry.name.c_str(),
                     label.c_str(), value.c_str());
      }
    }
    // The receive socket moves to the port just entered, as the panel's test button does it.
    if (auto* udp = dynamic_cast<CUDPController*>(m_windows[i].get())) udp->OnBnTestReceiveUDPPackets();
  }
}

int HostRunner::ApplyHub(std::string& error) {
  if (!m_hub) return kHostOk;
  std::lock_guard guard(CNyxWnd::HostLock());
  if (!m_config.hubImport.empty() && !m_hub->Import(m_config.hubImport)) {
    error = m_config.hubImport + ": cannot import the hub settings";
    return kHostFileError;
  }
  if (m_config.hubId) m_hub->m_hubId = static_cast<unsigned short>(*m_config.hubId);
  // A window made for the simulated hubs takes their pulse on its rising
  // edge, as the panel's "PPS Edge" would set it (the panel shows that
  // control only in the host's survey mode).
  if (m_hubAdded && m_config.hubSim > 0) {
    m_hub->m_pps.m_sync = 1;
    m_hub->OnPPSEdge();
  }
  if (!ApplyHubPorts(*m_hub, m_config.hubPorts, error)) return kHostOptionError;
  return kHostOk;
}

// The hub window's check box refuses a hub that is not heard, with a message
// box; the others broadcast comms on. Without a hub window the broadcast alone
// does what the boxes would.
void HostRunner::TickEnable() {
  if (!m_hub) {
    CNyxWnd::InfoMsg(kInfoCommsEnable, InfoValue(1));
    return;
  }
  for (const auto& window : m_windows) {
    auto* comm = dynamic_cast<CEComm*>(window.get());
    if (!comm) continue;
    comm->m_bEnableComms = 1;
    comm->OnEnableBtn();
  }
}

void HostRunner::ReportLineErrors() {
  for (std::size_t i = 0; m_window && i < m_window->GetLineCount(); ++i) {
    const CSPort& line = *m_window->GetLine(i);
    if (line.m_commPort <= 0) continue;
    if (line.GetOpenError()) {
      std::fprintf(stderr, "nyxhost: %s: %s\n", ComText(line.m_commPort, ComPortMap::Path(line.m_commPort)).c_str(),
                   Nyx::ErrorString(line.GetOpenError()).c_str());
    } else if (line.GetConfigError()) {
      std::fprintf(stderr, "nyxhost: %s: line settings not taken: %s\n",
                   ComText(line.m_commPort, line.m_deviceName).c_str(), Nyx::ErrorString(line.GetConfigError()).c_str());
    }
  }
}

int HostRunner::SaveStation(std::string& error) {
  Station saved = m_station;
  if (m_window) saved.Find(m_serialName)->SetOption("nPorts", std::to_string(m_window->GetLineCount()));
  for (std::size_t i = 0; i < m_windows.size(); ++i) {
    for (auto& [label, value] : saved.windows[i].controls) {
      if (const CECtrl* ctrl = m_windows[i]->FindCtrl(label)) value = ctrl->GetValueText();
    }
  }
  CESet set;
  WriteStation(saved, set);
  CESetCol* hostColumn = set.AddCol(kHostColumn);
  for (std::size_t i = 0; i < m_windows.size(); ++i) m_windows[i]->Settings(*hostColumn->AddObj(saved.windows[i].name, ""));
  if (!set.Save(m_config.save)) {
    error = m_config.save + ": cannot write the settings: " + std::strerror(errno);
    return kHostFileError;
  }
  return kHostOk;
}
