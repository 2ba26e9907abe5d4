// nyxhost's gpsd service (--gpsd): a receiver of the host's records that
// tells which line each came from and passes them to the gpsd protocol feed,
// whose reports the TCP server hands to the watching clients.
#pragma once

#include <memory>
#include <string>

#include "host/nyx_wnd.h"
#include "net/gpsd_protocol.h"
#include "net/gpsd_server.h"
#include "nyxhost/host_service.h"

class CSComm;
class CSnsrInf;

class GpsdService : public CNyxWnd {
 public:
  // Serves on "[ADDR:]PORT" the records of the station whose serial comms
  // window is window (may be null); null with the reason in error.
  static std::unique_ptr<GpsdService> Start(const std::string& where, CSComm* window, std::string& error);
  ~GpsdService() override;

  void OnSnsrMsg(int kind, void* record) override;

  int Port() const { return m_server.Port(); }
  const GpsdServer& Server() const { return m_server; }

 private:
  explicit GpsdService(CSComm* window);
  // The device of the port whose raw message this is: its line's path or its name.
  std::string DeviceOf(const CSnsrInf& raw) const;

  CSComm* m_window;
  GpsdFeed m_feed;
  GpsdServer m_server;
  std::string m_device;  // the device of the message being decoded
};

// The service as the host program attaches it: started once the station's
// windows are up, stopped before they go.
std::unique_ptr<HostService> MakeGpsdHostService(std::string where);
