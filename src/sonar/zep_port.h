// A serial port carried by a sonar head: its data comes and goes through the
// sonar's network link, so it keeps the sonar's identifier (in the port index),
// a baud index into the sonar's rate list, its routing, the sonar clock model
// and the panel controls of its row.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "host/list_ptr.h"
#include "port/port.h"
#include "time/comm_time.h"

class CECtrl;
class CESetObj;

class CZepPort : public CPort {
  NYX_DECLARE_DYNCREATE(CZepPort)
 public:
  // Routing values: the data comes to this program, or is looped back.
  static constexpr int kRouteDecode = 0;
  static constexpr int kRouteLoopback = 256;
  // Rates of the sonar's serial ports by baud index.
  static constexpr std::array<unsigned, 7> kBaudRates = {2400, 4800, 9600, 19200, 38400, 57600, 115200};

  CZepPort();

  // Triggers a silent port waits before its clock runs on by itself.
  static constexpr std::uint32_t kTriggersBeforeAging = 20;

  void Settings(CESetObj& obj) override;
  // Text handed to a sonar port is dropped.
  void SendData(const char*) override {}
  // Output always leaves on the sonar's first serial port (serial index 0).
  void SendData(TX_MSG* msg) override;
  // Age, clock-model upkeep and the port clock; 1 when the age test asks
  // for a refresh.
  int OnTrigger(double time, double dt);

  // True when the port's data comes to this program (Decode or Loopback).
  bool GetRouting() const { return m_routing == kRouteDecode || m_routing == kRouteLoopback; }
  // The rate of the baud index, setting the character time to 10 / rate; an
  // index past the list gives 9600 and leaves the character time.
  unsigned GetBaud();

  double m_portClock = 0.0;           // host time of the last byte; the port ages against it
  std::uint32_t m_triggersSinceByte = 0;
  CECommTime m_commTime;              // this sonar's time stamps to host time
  int m_routing = kRouteDecode;       // 0 Decode, 256 Loopback, n = route to PC COM port n
  std::string m_label = " ID";
  CECtrl* m_pLabelCtrl = nullptr;
  CECtrl* m_pComPortCtrl = nullptr;
  CECtrl* m_pBaudCtrl = nullptr;
  CECtrl* m_pFormatCtrl = nullptr;
  CECtrl* m_pRoutingCtrl = nullptr;
  CList_Ptr<CECtrl*> m_decodeCtrls;   // shown only while the data comes to this program
  CList_Ptr<CECtrl*> m_otherCtrls;
  int m_commPort = 0;                 // stored with the settings; nothing else reads it
  int m_libraryHandle = 0;            // of the last port initialisation; 0 = not initialised
};
