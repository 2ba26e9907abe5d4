// The sonar maker's communications library as the module calls it: the ZEPX_
// calls for the serial ports of the sonar heads and the ZEPHUB_/ZEP_ calls for
// the hub. Each call goes to one process-wide backend that can be replaced: a
// recorder in tests, the simulator in the demo. With no backend installed every
// call does nothing and returns 0, which is what the module sees when there is
// no sonar library: no port ever gets a handle.
#pragma once

#include <cstdint>
#include <memory>

// The library calls its hub handler with every hub message, from its own thread.
using ZepHubHandler = void (*)(int kind, int length, const unsigned char* message);
// The library asks for the time of a device time stamp: the callback fills
// seconds since 1970 and microseconds and says whether the time is GPS time.
using ZepTimeSyncFunction = bool (*)(std::uint64_t deviceMicroseconds, std::uint32_t* seconds,
                                     std::uint32_t* microseconds);

// One implementation of the library. Every call does nothing and returns 0
// unless overridden, so a backend implements only what it plays.
class CZephraBackend {
 public:
  virtual ~CZephraBackend() = default;

  // Sonar heads.
  virtual int InitComPort(int sonarId, int comPort, int baud, int reserved, int routeFlag, int serialIndex);
  virtual int SetNetworkConfigToDefaults(int sonarId);
  virtual int SetNetworkRS232BaudRate(int sonarId, int baud);
  virtual int SetNetworkRS232Routing(int sonarId, int protocol, int local);
  virtual int SendZephraNetworkConfig(int sonarId);
  virtual int SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud);
  virtual int SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag);
  virtual int SendZephraSerialConfig(int sonarId, int serialIndex);
  virtual int SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex);

  // Hubs.
  virtual int SetHubHandler(ZepHubHandler handler);
  virtual int SetTimeSyncFunction(ZepTimeSyncFunction callback);
  virtual int ConfigHubPort(int hubId, int port, int baudIndex, int dataBits, int parity, int stopBits, int mode);
  virtual int SendSerialCommand(int hubId, int port, std::uint16_t count, const char* bytes);
  virtual int SendHubStayAlive(int hubId);
  virtual int RequestRetry(int hubId, int code, int sequence);
  virtual int UseAltDeviceIPAddress(int hubId, int a0, int a1, int a2, int a3, int m0, int m1, int m2, int m3);
  virtual int TxToAltIPAddress(int hubId, int flag);
  virtual int SetSurveyNetworkEnable(int hubId, int output);
  virtual int DeleteDeviceID(int hubId);
};

namespace ZephraLibrary {
// Installs the backend every call goes to; null restores "no library". A call
// already running on the previous backend finishes on it (it is kept alive for
// that call), so a backend may be replaced while other threads call.
void Install(std::shared_ptr<CZephraBackend> backend);
// The installed backend, or null when there is none.
std::shared_ptr<CZephraBackend> Installed();
}  // namespace ZephraLibrary

// Installs a backend for a scope and restores the previous one after it.
class ScopedZephraBackend {
 public:
  explicit ScopedZephraBackend(std::shared_ptr<CZephraBackend> backend);
  ~ScopedZephraBackend();
  ScopedZephraBackend(const ScopedZephraBackend&) = delete;
  ScopedZephraBackend& operator=(const ScopedZephraBackend&) = delete;

 private:
  std::shared_ptr<CZephraBackend> m_previous;
};

// Sonar head calls. Ids are the sonar identifiers; serial index 0 or 1.
int ZEPX_InitComPort(int sonarId, int comPort, int baud, int reserved, int routeFlag, int serialIndex);
int ZEPX_SetNetworkConfigToDefaults(int sonarId);
int ZEPX_SetNetworkRS232BaudRate(int sonarId, int baud);
int ZEPX_SetNetworkRS232Routing(int sonarId, int protocol, int local);
int ZEPX_SendZephraNetworkConfig(int sonarId);
int ZEPX_SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud);
int ZEPX_SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag);
int ZEPX_SendZephraSerialConfig(int sonarId, int serialIndex);
int ZEPX_SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex);

// Hub calls.
int ZEPHUB_SetHandlerFunction(ZepHubHandler handler);
int ZEP_SetTimeSyncFunction(ZepTimeSyncFunction callback);
int ZEPHUB_ConfigPort(int hubId, int port, int baudIndex, int dataBits, int parity, int stopBits, int mode);
int ZEPHUB_SendSerialCommand(int hubId, int port, std::uint16_t count, const char* bytes);
int ZEPHUB_SendHubStayAlive(int hubId);
int ZEPHUB_RequestRetry(int hubId, int code, int sequence);
int ZEPHUB_UseAltDeviceIPAddress(int hubId, int a0, int a1, int a2, int a3, int m0, int m1, int m2, int m3);
int ZEPHUB_TxToAltIPAddress(int hubId, int flag);
int ZEPHUB_SetSurveyNetworkEnable(int hubId, int output);
int ZEPHUB_DeleteDeviceID(int hubId);
