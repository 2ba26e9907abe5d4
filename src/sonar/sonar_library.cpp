#include "sonar/sonar_library.h"

#include <mutex>
#include <utility>

int CZephraBackend::InitComPort(int, int, int, int, int, int) { return 0; }
int CZephraBackend::SetNetworkConfigToDefaults(int) { return 0; }
int CZephraBackend::SetNetworkRS232BaudRate(int, int) { return 0; }
int CZephraBackend::SetNetworkRS232Routing(int, int, int) { return 0; }
int CZephraBackend::SendZephraNetworkConfig(int) { return 0; }
int CZephraBackend::SetSerialRS232BaudRate(int, int, int) { return 0; }
int CZephraBackend::SetSerialRS232TimeStamps(int, int, int) { return 0; }
int CZephraBackend::SendZephraSerialConfig(int, int) { return 0; }
int CZephraBackend::SendRS232Ex(int, int, const char*, int) { return 0; }
int CZephraBackend::SetHubHandler(ZepHubHandler) { return 0; }
int CZephraBackend::SetTimeSyncFunction(ZepTimeSyncFunction) { return 0; }
int CZephraBackend::ConfigHubPort(int, int, int, int, int, int, int) { return 0; }
int CZephraBackend::SendSerialCommand(int, int, std::uint16_t, const char*) { return 0; }
int CZephraBackend::SendHubStayAlive(int) { return 0; }
int CZephraBackend::RequestRetry(int, int, int) { return 0; }
int CZephraBackend::UseAltDeviceIPAddress(int, int, int, int, int, int, int, int, int) { return 0; }
int CZephraBackend::TxToAltIPAddress(int, int) { return 0; }
int CZephraBackend::SetSurveyNetworkEnable(int, int) { return 0; }
int CZephraBackend::DeleteDeviceID(int) { return 0; }

namespace {

std::mutex& BackendLock() {
  static std::mutex lock;
  return lock;
}

std::shared_ptr<CZephraBackend>& InstalledBackend() {
  static std::shared_ptr<CZephraBackend> backend;
  return backend;
}

// The backend for one call, held for the call's length; the base class stands
// in for a missing library.
std::shared_ptr<CZephraBackend> Backend() {
  static const auto none = std::make_shared<CZephraBackend>();
  std::lock_guard guard(BackendLock());
  return InstalledBackend() ? InstalledBackend() : none;
}

}  // namespace

void ZephraLibrary::Install(std::shared_ptr<CZephraBackend> backend) {
  std::shared_ptr<CZephraBackend> previous;
  {
    std::lock_guard guard(BackendLock());
    previous = std::exchange(InstalledBackend(), std::move(backend));
  }
  // The previous backend is released outside the lock: its destructor may stop
  // threads that are themselves calling into the library.
}

std::shared_ptr<CZephraBackend> ZephraLibrary::Installed() {
  std::lock_guard guard(BackendLock());
  return InstalledBackend();
}

ScopedZephraBackend::ScopedZephraBackend(std::shared_ptr<CZephraBackend> backend)
    : m_previous(ZephraLibrary::Installed()) {
  ZephraLibrary::Install(std::move(backend));
}

ScopedZephraBackend::~ScopedZephraBackend() { ZephraLibrary::Install(std::move(m_previous)); }

int ZEPX_InitComPort(int sonarId, int comPort, int baud, int reserved, int routeFlag, int serialIndex) {
  return Backend()->InitComPort(sonarId, comPort, baud, reserved, routeFlag, serialIndex);
}
int ZEPX_SetNetworkConfigToDefaults(int sonarId) { return Backend()->SetNetworkConfigToDefaults(sonarId); }
int ZEPX_SetNetworkRS232BaudRate(int sonarId, int baud) { return Backend()->SetNetworkRS232BaudRate(sonarId, baud); }
int ZEPX_SetNetworkRS232Routing(int sonarId, int protocol, int local) {
  return Backend()->SetNetworkRS232Routing(sonarId, protocol, local);
}
int ZEPX_SendZephraNetworkConfig(int sonarId) { return Backend()->SendZephraNetworkConfig(sonarId); }
int ZEPX_SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud) {
  return Backend()->SetSerialRS232BaudRate(sonarId, serialIndex, baud);
}
int ZEPX_SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag) {
  return Backend()->SetSerialRS232TimeStamps(sonarId, serialIndex, flag);
}
int ZEPX_SendZephraSerialConfig(int sonarId, int serialIndex) {
  return Backend()->SendZephraSerialConfig(sonarId, serialIndex);
}
int ZEPX_SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex) {
  return Backend()->SendRS232Ex(sonarId, count, bytes, serialIndex);
}

int ZEPHUB_SetHandlerFunction(ZepHubHandler handler) { return Backend()->SetHubHandler(handler); }
int ZEP_SetTimeSyncFunction(ZepTimeSyncFunction callback) { return Backend()->SetTimeSyncFunction(callback); }
int ZEPHUB_ConfigPort(int hubId, int port, int baudIndex, int dataBits, int parity, int stopBits, int mode) {
  return Backend()->ConfigHubPort(hubId, port, baudIndex, dataBits, parity, stopBits, mode);
}
int ZEPHUB_SendSerialCommand(int hubId, int port, std::uint16_t count, const char* bytes) {
  return Backend()->SendSerialCommand(hubId, port, count, bytes);
}
int ZEPHUB_SendHubStayAlive(int hubId) { return Backend()->SendHubStayAlive(hubId); }
int ZEPHUB_RequestRetry(int hubId, int code, int sequence) { return Backend()->RequestRetry(hubId, code, sequence); }
int ZEPHUB_UseAltDeviceIPAddress(int hubId, int a0, int a1, int a2, int a3, int m0, int m1, int m2, int m3) {
  return Backend()->UseAltDeviceIPAddress(hubId, a0, a1, a2, a3, m0, m1, m2, m3);
}
int ZEPHUB_TxToAltIPAddress(int hubId, int flag) { return Backend()->TxToAltIPAddress(hubId, flag); }
int ZEPHUB_SetSurveyNetworkEnable(int hubId, int output) { return Backend()->SetSurveyNetworkEnable(hubId, output); }
int ZEPHUB_DeleteDeviceID(int hubId) { return Backend()->DeleteDeviceID(hubId); }
