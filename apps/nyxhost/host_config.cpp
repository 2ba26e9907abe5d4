// Owns what the command line asks of the host program: the "N=VALUE" options
// of the lines and the one check of a whole configuration before it starts.
#include <charconv>
#include <cmath>

#include "nyxhost/host_runner.h"

namespace {

bool ConfigParseInt(const std::string& text, long long& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// "N=VALUE" with N a COM number.
bool SplitAssignment(const std::string& option, const std::string& text, int& com, std::string& value,
                     std::string& error) {
  const auto equals = text.find('=');
  long long n = 0;
  if (equals == std::string::npos || !ConfigParseInt(text.substr(0, equals), n) || n < 1 || n > 9999) {
    error = option + " takes N=VALUE with N a COM number from 1, not '" + text + "'";
    return false;
  }
  com = static_cast<int>(n);
  value = text.substr(equals + 1);
  if (value.empty()) {
    error = option + " " + text + ": the value is missing";
    return false;
  }
  return true;
}

bool IsRate(const std::optional<double>& hz) { return !hz || (*hz > 0 && std::isfinite(*hz)); }

}  // namespace

bool IsUdpPortNumber(long long port) { return port >= 1 && port <= 65535; }

bool HostConfig::AddCom(const std::string& text, std::string& error) {
  int com = 0;
  std::string path;
  if (!SplitAssignment("--com", text, com, path, error)) return false;
  comPaths[com] = path;
  return true;
}

bool HostConfig::AddDecode(const std::string& text, std::string& error) {
  int com = 0;
  std::string name;
  if (!SplitAssignment("--decode", text, com, name, error)) return false;
  Line(com).decode = name;
  return true;
}

bool HostConfig::AddEncode(const std::string& text, std::string& error) {
  int com = 0;
  std::string name;
  if (!SplitAssignment("--encode", text, com, name, error)) return false;
  Line(com).encode = name;
  return true;
}

bool HostConfig::AddBaud(const std::string& text, std::string& error) {
  int com = 0;
  std::string rate;
  if (!SplitAssignment("--baud", text, com, rate, error)) return false;
  long long value = 0;
  if (!ConfigParseInt(rate, value) || value < 1 || value > 0xFFFFFFFFLL) {
    error = "--baud " + text + ": the rate must be a whole number of baud above 0";
    return false;
  }
  Line(com).baud = static_cast<unsigned>(value);
  return true;
}

bool HostConfig::AddSyncChar(const std::string& text, std::string& error) {
  int com = 0;
  std::string character;
  if (!SplitAssignment("--sync-char", text, com, character, error)) return false;
  Line(com).syncChar = character;
  return true;
}

HostLineConfig& HostConfig::Line(int com) {
  for (HostLineConfig& line : lines) {
    if (line.com == com) return line;
  }
  lines.push_back(HostLineConfig{com, {}, {}, {}, {}});
  return lines.back();
}

bool HostConfig::Check(std::string& error) const {
  if (!IsRate(triggerHz)) {
    error = "--trigger-hz must be a rate above 0";
    return false;
  }
  if (!IsRate(pollHz)) {
    error = "--poll-hz must be a rate above 0";
    return false;
  }
  if (duration && !(*duration >= 0)) {
    error = "--duration must be 0 seconds or more";
    return false;
  }
  for (const auto& [option, port] : {std::pair{"--udp-src-port", udp.srcPort}, std::pair{"--udp-dst-port", udp.dstPort}}) {
    if (port && !IsUdpPortNumber(*port)) {
      error = std::string(option) + " must be a port from 1 to 65535, not " + std::to_string(*port);
      return false;
    }
  }
  if (hubSim < 0 || hubSim > 4) {
    error = "--hub-sim takes 0 to 4 hubs, not " + std::to_string(hubSim);
    return false;
  }
  if (hubId && (*hubId < 0 || *hubId > 65535)) {
    error = "--hub-id must be a hub identifier from 1 to 65535 (0: none), not " + std::to_string(*hubId);
    return false;
  }
  return true;
}
