// The host's communication window: a window that owns ports and takes their
// upward calls.
#pragma once

#include <string>

#include "host/host_time.h"
#include "host/nyx_wnd.h"
#include "host/tm80.h"
#include "host/tx_msg.h"

class CPort;

class CNyxComm : public CNyxWnd {
  NYX_DECLARE_DYNAMIC(CNyxComm)
 public:
  virtual void SendData(unsigned port, const char* text) = 0;
  virtual void SendData(unsigned port, TX_MSG* msg) = 0;
  virtual void NewData(unsigned port, double time, std::string text) = 0;
  virtual void SendBaud(unsigned port) = 0;
  virtual void ProcessZDA(CTm80& gpsTime, const SYSTEMTIME& utc) = 0;
  virtual void OnEnableBtn() = 0;
  virtual void PortUpdated(CPort& port) = 0;
};
