#include "sonar/sonar_recorder.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {
constexpr const char* kInitComPort = "ZEPX_InitComPort";

// The bytes of a send call; a null pointer or a negative count gives none.
std::string Payload(const char* bytes, long long count) {
  if (bytes == nullptr || count <= 0) return {};
  return std::string(bytes, static_cast<std::size_t>(count));
}

// Bytes in angle brackets, with anything unprintable as \xNN.
std::string Shown(const std::string& bytes) {
  std::string text = "<";
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  return text + ">";
}
}  // namespace

std::string ZepCall::ToString() const {
  std::vector<std::string> parts;
  for (long long arg : args) parts.push_back(std::to_string(arg));
  // The byte pointer of the send calls stands where the original argument list has it.
  if (name == "ZEPX_SendRS232Ex") parts.insert(parts.begin() + std::min<std::size_t>(2, parts.size()), Shown(bytes));
  if (name == "ZEPHUB_SendSerialCommand") parts.push_back(Shown(bytes));
  std::string text = name + "(";
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i > 0 ? ", " : "") + parts[i];
  return text + ")";
}

int CZephraRecorder::Record(const char* name, std::vector<long long> args, std::string bytes) {
  std::lock_guard guard(m_lock);
  ZepCall call{name, std::move(args), std::move(bytes), 0};
  const auto fixed = m_results.find(call.name);
  if (fixed != m_results.end()) {
    call.result = fixed->second;
  } else if (call.name == kInitComPort) {
    call.result = m_nextHandle++;
  }
  m_calls.push_back(std::move(call));
  return m_calls.back().result;
}

int CZephraRecorder::InitComPort(int sonarId, int comPort, int baud, int reserved, int routeFlag, int serialIndex) {
  return Record(kInitComPort, {sonarId, comPort, baud, reserved, routeFlag, serialIndex});
}
int CZephraRecorder::SetNetworkConfigToDefaults(int sonarId) {
  return Record("ZEPX_SetNetworkConfigToDefaults", {sonarId});
}
int CZephraRecorder::SetNetworkRS232BaudRate(int sonarId, int baud) {
  return Record("ZEPX_SetNetworkRS232BaudRate", {sonarId, baud});
}
int CZephraRecorder::SetNetworkRS232Routing(int sonarId, int protocol, int local) {
  return Record("ZEPX_SetNetworkRS232Routing", {sonarId, protocol, local});
}
int CZephraRecorder::SendZephraNetworkConfig(int sonarId) { return Record("ZEPX_SendZephraNetworkConfig", {sonarId}); }
int CZephraRecorder::SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud) {
  return Record("ZEPX_SetSerialRS232BaudRate", {sonarId, serialIndex, baud});
}
int CZephraRecorder::SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag) {
  return Record("ZEPX_SetSerialRS232TimeStamps", {sonarId, serialIndex, flag});
}
int CZephraRecorder::SendZephraSerialConfig(int sonarId, int serialIndex) {
  return Record("ZEPX_SendZephraSerialConfig", {sonarId, serialIndex});
}
int CZephraRecorder::SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex) {
  return Record("ZEPX_SendRS232Ex", {sonarId, count, serialIndex}, Payload(bytes, count));
}

int CZephraRecorder::SetHubHandler(ZepHubHandler handler) {
  {
    std::lock_guard guard(m_lock);
    m_hubHandler = handler;
  }
  return Record("ZEPHUB_SetHandlerFunction", {handler != nullptr});
}
int CZephraRecorder::SetTimeSyncFunction(ZepTimeSyncFunction callback) {
  {
    std::lock_guard guard(m_lock);
    m_timeSync = callback;
  }
  return Record("ZEP_SetTimeSyncFunction", {callback != nullptr});
}
int CZephraRecorder::ConfigHubPort(int hubId, int port, int baudIndex, int dataBits, int parity, int stopBits,
                                   int mode) {
  return Record("ZEPHUB_ConfigPort", {hubId, port, baudIndex, dataBits, parity, stopBits, mode});
}
int CZephraRecorder::SendSerialCommand(int hubId, int port, std::uint16_t count, const char* bytes) {
  return Record("ZEPHUB_SendSerialCommand", {hubId, port, count}, Payload(bytes, count));
}
int CZephraRecorder::SendHubStayAlive(int hubId) { return Record("ZEPHUB_SendHubStayAlive", {hubId}); }
int CZephraRecorder::RequestRetry(int hubId, int code, int sequence) {
  return Record("ZEPHUB_RequestRetry", {hubId, code, sequence});
}
int CZephraRecorder::UseAltDeviceIPAddress(int hubId, int a0, int a1, int a2, int a3, int m0, int m1, int m2,
                                           int m3) {
  return Record("ZEPHUB_UseAltDeviceIPAddress", {hubId, a0, a1, a2, a3, m0, m1, m2, m3});
}
int CZephraRecorder::TxToAltIPAddress(int hubId, int flag) { return Record("ZEPHUB_TxToAltIPAddress", {hubId, flag}); }
int CZephraRecorder::SetSurveyNetworkEnable(int hubId, int output) {
  return Record("ZEPHUB_SetSurveyNetworkEnable", {hubId, output});
}
int CZephraRecorder::DeleteDeviceID(int hubId) { return Record("ZEPHUB_DeleteDeviceID", {hubId}); }

std::vector<ZepCall> CZephraRecorder::Calls() const {
  std::lock_guard guard(m_lock);
  return m_calls;
}

std::vector<ZepCall> CZephraRecorder::CallsTo(const std::string& name) const {
  std::lock_guard guard(m_lock);
  std::vector<ZepCall> calls;
  for (const auto& call : m_calls) {
    if (call.name == name) calls.push_back(call);
  }
  return calls;
}

std::vector<std::string> CZephraRecorder::Lines() const {
  std::vector<std::string> lines;
  for (const auto& call : Calls()) lines.push_back(call.ToString());
  return lines;
}

std::size_t CZephraRecorder::Count() const {
  std::lock_guard guard(m_lock);
  return m_calls.size();
}

void CZephraRecorder::Clear() {
  std::lock_guard guard(m_lock);
  m_calls.clear();
}

void CZephraRecorder::SetResult(const std::string& name, int result) {
  std::lock_guard guard(m_lock);
  m_results[name] = result;
}

ZepHubHandler CZephraRecorder::HubHandler() const {
  std::lock_guard guard(m_lock);
  return m_hubHandler;
}

ZepTimeSyncFunction CZephraRecorder::TimeSyncFunction() const {
  std::lock_guard guard(m_lock);
  return m_timeSync;
}
