// A sonar library backend for tests: keeps every call in order with its name,
// its integer arguments and a copy of the bytes it was given, and installs the
// hub callbacks it is handed so a test can call them as the library would.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "sonar/sonar_library.h"

struct ZepCall {
  std::string name;               // the library function, e.g. "ZEPX_InitComPort"
  std::vector<long long> args;    // integer arguments in order; byte pointers are left out (see bytes),
                                  // a callback counts as 1 (set) or 0 (null)
  std::string bytes;              // the bytes a send call was given
  int result = 0;                 // what the call returned

  // "ZEPX_SendRS232Ex(7, 3, <abc>, 0)": integer arguments in order, with the
  // bytes in angle brackets in place of the pointer argument.
  std::string ToString() const;
};

class CZephraRecorder : public CZephraBackend {
 public:
  int InitComPort(int sonarId, int comPort, int baud, int reserved, int routeFlag, int serialIndex) override;
  int SetNetworkConfigToDefaults(int sonarId) override;
  int SetNetworkRS232BaudRate(int sonarId, int baud) override;
  int SetNetworkRS232Routing(int sonarId, int protocol, int local) override;
  int SendZephraNetworkConfig(int sonarId) override;
  int SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud) override;
  int SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag) override;
  int SendZephraSerialConfig(int sonarId, int serialIndex) override;
  int SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex) override;

  int SetHubHandler(ZepHubHandler handler) override;
  int SetTimeSyncFunction(ZepTimeSyncFunction callback) override;
  int ConfigHubPort(int hubId, int port, int baudIndex, int dataBits, int parity, int stopBits, int mode) override;
  int SendSerialCommand(int hubId, int port, std::uint16_t count, const char* bytes) override;
  int SendHubStayAlive(int hubId) override;
  int RequestRetry(int hubId, int code, int sequence) override;
  int UseAltDeviceIPAddress(int hubId, int a0, int a1, int a2, int a3, int m0, int m1, int m2, int m3) override;
  int TxToAltIPAddress(int hubId, int flag) override;
  int SetSurveyNetworkEnable(int hubId, int output) override;
  int DeleteDeviceID(int hubId) override;

  // Every call so far, in order.
  std::vector<ZepCall> Calls() const;
  // The calls of one function, in order.
  std::vector<ZepCall> CallsTo(const std::string& name) const;
  // Every call as its ToString(), in order.
  std::vector<std::string> Lines() const;
  std::size_t Count() const;
  void Clear();

  // What a function returns from now on. By default every call returns 0,
  // except ZEPX_InitComPort, which hands out handles 1, 2, 3, ... so that a
  // configured port is told apart from one that is not.
  void SetResult(const std::string& name, int result);

  // The callbacks last installed (null when none or removed).
  ZepHubHandler HubHandler() const;
  ZepTimeSyncFunction TimeSyncFunction() const;

 private:
  int Record(const char* name, std::vector<long long> args, std::string bytes = {});

  mutable std::mutex m_lock;
  std::vector<ZepCall> m_calls;
  std::map<std::string, int> m_results;
  int m_nextHandle = 1;
  ZepHubHandler m_hubHandler = nullptr;
  ZepTimeSyncFunction m_timeSync = nullptr;
};
