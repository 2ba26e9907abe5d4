// What every communication window has in common: it owns ports and takes their
// upward calls, fills the codec registries, keeps the operator's "Enable Comms"
// switch and broadcasts it, and holds the sync-character names of the panels.
#pragma once

#include <map>
#include <string>

#include "host/nyx_comm.h"
#include "port/codec_registry.h"

class CEComm : public CNyxComm, public CCodecRegistry {
  NYX_DECLARE_DYNCREATE(CEComm)
 public:
  CEComm();
  ~CEComm() override;
  CEComm(const CEComm&) = delete;
  // Copies the host window's type and option flags (never its name, which
  // must stay unique), the number of banks, "Enable Comms" and the
  // sync-character names.
  CEComm& operator=(const CEComm& other);

  void SetOption(const std::string& key, const std::string& value) override;
  void OnInfoMsg(int kind, void* data) override;

  void SendData(unsigned port, const char* text) override;
  void SendData(unsigned port, TX_MSG* msg) override;
  void NewData(unsigned port, double time, std::string text) override;
  void SendBaud(unsigned port) override;
  void ProcessZDA(CTm80& gpsTime, const SYSTEMTIME& utc) override;
  void OnEnableBtn() override;
  void PortUpdated(CPort& port) override;

  // Fill the registries with the built-in codecs, once: nothing happens while
  // the name list is not empty.
  static void InitDecode();
  static void InitEncode();

  int m_nBanks = 8;
  int m_bEnableComms = 0;
  std::map<int, std::string> m_syncNames;
  // The value of a sync-character name as the panels show it, or -1.
  int FindSyncChar(const std::string& name) const;

  // The value of text when it reads as exactly one integer.
  static bool ReadOneInteger(const std::string& text, int& value);
};
