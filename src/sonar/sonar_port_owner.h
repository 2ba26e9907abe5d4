// What the sonar-routed ports and the sonar ports page ask of the window that
// owns those ports: sending through a sonar, and the panel rows of the ports.
#pragma once

#include <string>

#include "host/list_ptr.h"
#include "host/tx_msg.h"

class CCtrlCat;
class CECtrl;
class CNyxWnd;
class CPort;
class CZepPort;

// The owner of a CZepPort: output leaves through the sonar's library.
class ISonarPortOwner {
 public:
  virtual ~ISonarPortOwner() = default;
  // Sends through the sonar while comms are on and the sonar is active.
  virtual void SendZepData(int sonarId, TX_MSG* msg, int serialIndex) = 0;
};

// The rows of the sonar-routed ports, laid into another window (the sonar
// ports page) with the owner's sync-character names, banks and age sliders.
class ISonarPortRows {
 public:
  virtual ~ISonarPortRows() = default;
  virtual int GetMaxNumberOfSonars() const = 0;
  // Sonar port 2k + j: slot k, serial j.
  virtual CZepPort& GetSonarPort(unsigned index) = 0;
  virtual void AddHeader(CNyxWnd& wnd, CList_Ptr<CECtrl*>& list, bool addToList) = 0;
  virtual void AddDecodingOptions(CNyxWnd& wnd, unsigned index, CList_Ptr<CECtrl*>& list, CPort& port,
                                  const std::string& prefix) = 0;
  virtual void AddZephraHeaderCtrls(CNyxWnd& wnd) = 0;
  virtual void AddZephraCtrls(CNyxWnd& wnd, unsigned sonar, unsigned serial) = 0;
  // Drops every reference held to the controls of owner, before owner clears them to rebuild.
  virtual void ForgetCtrls(const CCtrlCat& owner) = 0;
};
