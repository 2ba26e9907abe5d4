#include "nyxhost/hub_sim_option.h"

#include <charconv>
#include <cmath>

#include "host/host_time.h"
#include "sonar/hub_simulator.h"
#include "sonar/ser_comm.h"
#include "sonar/sonar_library.h"

namespace {

bool ReadInt(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool ReadPortLetter(const std::string& text, int& port) {
  if (text.size() != 1) return false;
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  if (letter < 'A' || letter >= static_cast<char>('A' + CHubSimulator::kPorts)) return false;
  port = letter - 'A';
  return true;
}

std::string RateList() {
  std::string list;
  for (int i = 0; CHubSimulator::BaudRate(i) != 0; ++i) {
    list += (i ? ", " : "") + std::to_string(CHubSimulator::BaudRate(i));
  }
  return list;
}

}  // namespace

bool ParseHubPort(const std::string& text, HubPortOption& out, std::string& error) {
  const std::string what = "--hub-port " + text + ": ";
  const auto equals = text.find('=');
  if (equals == std::string::npos || !ReadPortLetter(text.substr(0, equals), out.port)) {
    error = what + "give a hub port letter A to H, then =DECODER[,BAUD][,ascii|binary|echo:M]";
    return false;
  }
  std::vector<std::string> parts;
  for (std::size_t at = equals + 1;;) {
    const auto comma = text.find(',', at);
    parts.push_back(text.substr(at, comma - at));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  out.decoder = parts[0];
  if (out.decoder.empty()) {
    error = what + "no decoder (a registry name or index; nyxdecode --list prints them)";
    return false;
  }
  if (parts.size() > 3) {
    error = what + "too many fields: DECODER[,BAUD][,ascii|binary|echo:M]";
    return false;
  }
  out.baudIndex.reset();
  out.mode.reset();
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    long long rate = 0;
    int source = 0;
    if (ReadInt(part, rate) && !out.baudIndex && !out.mode) {
      const int index = rate > 0 && rate <= 115200 ? CHubSimulator::BaudIndex(static_cast<unsigned>(rate)) : -1;
      if (index < 0) {
        error = what + "the hub's rates are " + RateList() + ", not " + part;
        return false;
      }
      out.baudIndex = index;
    } else if (part == "ascii" && !out.mode) {
      out.mode = 0;
    } else if (part == "binary" && !out.mode) {
      out.mode = 1;
    } else if (part.starts_with("echo:") && !out.mode) {
      if (!ReadPortLetter(part.substr(5), source) || source == out.port) {
        error = what + "echo:M takes another hub port letter A to H";
        return false;
      }
      out.mode = 2 + source;
    } else {
      error = what + "'" + part + "' is neither a rate nor ascii, binary or echo:M (in that order)";
      return false;
    }
  }
  return true;
}

bool ParseHubDrop(const std::string& text, HubDropOption& out, std::string& error) {
  const auto at = text.find('@');
  long long id = 0;
  double seconds = -1.0;
  if (at != std::string::npos) {
    const std::string after = text.substr(at + 1);
    const auto result = std::from_chars(after.data(), after.data() + after.size(), seconds);
    if (result.ec != std::errc() || result.ptr != after.data() + after.size()) seconds = -1.0;
  }
  if (at == std::string::npos || !ReadInt(text.substr(0, at), id) || id < 1 || id > 65535 || !std::isfinite(seconds) ||
      seconds < 0.0) {
    error = "--hub-sim-drop " + text + ": give ID@S, a hub identifier and the seconds after start-up, such as 101@5";
    return false;
  }
  out.id = static_cast<std::uint16_t>(id);
  out.seconds = seconds;
  return true;
}

bool ApplyHubPorts(CSerComm& window, const std::vector<HubPortOption>& ports, std::string& error) {
  for (const HubPortOption& option : ports) {
    const CDecodeType* type = CEComm::FindDecode(option.decoder);
    if (!type) {
      error = "unknown decoder '" + option.decoder + "' for hub port " + static_cast<char>('A' + option.port) +
              " (nyxdecode --list prints the names)";
      return false;
    }
    CZepHubPort& port = window.HubPort(static_cast<unsigned>(option.port));
    port.m_decode = type->m_index;
    port.SetDecode();
    if (option.baudIndex) port.m_baud = static_cast<unsigned char>(*option.baudIndex);
    if (option.mode) port.m_mode = *option.mode;
    port.OnModeChange();
    window.SendBaud(static_cast<unsigned>(option.port));
  }
  return true;
}

std::unique_ptr<HubSimulation> HubSimulation::Install(int hubs, const std::vector<HubDropOption>& drops,
                                                      std::string& error) {
  if (hubs < 1 || hubs > CHubSimulator::kMaxHubs) {
    error = "--hub-sim takes 0 to 4 hubs, not " + std::to_string(hubs);
    return nullptr;
  }
  // Head calls go on to whatever was installed before (nothing, or a recorder in tests).
  auto simulator = std::make_shared<CHubSimulator>(hubs, ZephraLibrary::Installed(), TmSync::GetTm() + kStartDelay);
  for (const HubDropOption& drop : drops) {
    if (!simulator->Drop(drop.id, drop.seconds)) {
      error = "--hub-sim-drop: hub " + std::to_string(drop.id) + " is not simulated (--hub-sim " +
              std::to_string(hubs) + " runs hubs 100 to " + std::to_string(CHubSimulator::HubId(hubs - 1)) + ")";
      return nullptr;
    }
  }
  return std::unique_ptr<HubSimulation>(new HubSimulation(std::move(simulator)));
}

HubSimulation::HubSimulation(std::shared_ptr<CHubSimulator> simulator)
    : m_simulator(std::move(simulator)), m_library(std::make_unique<ScopedZephraBackend>(m_simulator)) {}

HubSimulation::~HubSimulation() {
  m_simulator->Stop();
  m_simulator->SetHubHandler(nullptr);
  m_simulator->SetTimeSyncFunction(nullptr);
  m_library.reset();
}

void HubSimulation::Start() {
  m_simulator->Start();
  // A station switched on before its hubs were heard would refuse them.
  m_simulator->WaitStepped(m_simulator->StartTime(), HubSimulation::kStartDelay + 2.0);
}
