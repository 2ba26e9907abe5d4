// One of the eight serial ports of a sonar hub. It decodes what arrives, as
// ASCII lines or binary, or it echoes another hub port: then the hub copies
// that port's traffic out of it and nothing arriving here is decoded. The hub
// takes the port's mode code in the place of a flow-control value.
#pragma once

#include <array>

#include "host/list_ptr.h"
#include "port/port.h"

class CECtrl;
class CESetObj;

class CZepHubPort : public CPort {
  NYX_DECLARE_DYNCREATE(CZepHubPort)
 public:
  static constexpr int kModeAscii = 0;
  static constexpr int kModeBinary = 1;
  static constexpr int kModeEchoFirst = 2;  // echo of port q is kModeEchoFirst + q
  static constexpr int kModeEchoLast = 9;
  // Rates of the hub's serial ports by baud index.
  static constexpr std::array<unsigned, 10> kBaudRates = {300, 600, 1200, 2400, 4800,
                                                          9600, 19200, 38400, 57600, 115200};

  CZepHubPort();
  CZepHubPort(const CZepHubPort&) = delete;
  // Copies the mode and the decode controls; the CPort part stays as it is.
  CZepHubPort& operator=(const CZepHubPort& other);

  void Settings(CESetObj& obj) override;
  // Bytes of an echo port are dropped (0).
  int NewByte(double arrivalTime, unsigned char byte) override;

  // The mode combo's callback: recomputes the mode code and the framing, tells
  // the hub when the code changed, shows or hides the decode controls.
  void OnModeChange();

  bool IsEcho() const { return m_mode >= kModeEchoFirst && m_mode <= kModeEchoLast; }
  // The port this one echoes, or -1.
  int EchoSource() const { return IsEcho() ? m_mode - kModeEchoFirst : -1; }
  // The mode code the current mode gives, with the owner's pulse edge.
  unsigned char ModeCode() const;
  // Start bit, data bits and stop bits over the rate, for a baud index in the list.
  void SetCharTime();
  // Shows the decode controls while the port decodes.
  void ShowDecodeCtrls();

  int m_mode = kModeAscii;
  CList_Ptr<CECtrl*> m_decodeCtrls;  // not owned
};
