// The serial comms window: owns the PC COM lines and the eight sonar-routed
// ports, runs the trigger cycle that drains the lines into their ports, ages
// them and hands the task's output texts to encoding lines, answers the
// ports' upward calls, and stores every port's settings.
#pragma once

#include <array>
#include <atomic>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>

#include "comms/ecomm.h"
#include "host/ds_array.h"
#include "host/task.h"
#include "port/serial_port.h"
#include "sonar/zep_messages.h"
#include "sonar/zep_port.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"

class CECombo;
class CECtrl;
class CESet;

class CSComm : public CEComm {
  NYX_DECLARE_DYNCREATE(CSComm)
 public:
  static constexpr int kSonarSlots = 4;
  static constexpr int kSonarPorts = 8;  // two serial ports per slot, slot k serial j at 2k + j
  static constexpr int kMaxComPort = 128;

  CSComm();
  ~CSComm() override;

  void SetOption(const std::string& key, const std::string& value) override;
  void OnTrigger(double now, double dt) override;
  void OnInfoMsg(int kind, void* data) override;
  void OnSnsrMsg(int kind, void* record) override;
  void LayoutWnd(int how) override;
  void Settings(CESetObj& obj) override;

  void SendData(unsigned port, const char* text) override;
  void SendData(unsigned port, TX_MSG* msg) override;
  void PortUpdated(CPort& port) override;
  void ProcessZDA(CTm80& gpsTime, const SYSTEMTIME& utc) override;

  // Hands the task's texts to the encoding lines; the number of hand-overs.
  int SendPortsData();
  void SaveSet(CESet& set);
  void LoadSet(CESet& set);

  // The PC COM ports that open now (ports this module holds open do not).
  void OpenCommPorts();
  void AddCommPortList(CECombo* combo, const std::string& prefix);

  void EnableCtrl(CECtrl* ctrl, int on);
  void ShowCtrl(CECtrl* ctrl, int on);
  // Controls of sonar port 2k + j.
  void UpdateAllControl(int k, int j, bool on);
  void UpdateDecodingControls(int k, int j, bool on);

  int GetMaxNumberOfSonars() const { return kSonarSlots; }
  unsigned GetNumberSerialPorts(int slot) const;

  bool CommsEnabled() const { return m_commsEnabled.load() != 0; }
  std::size_t GetLineCount() const { return m_lines.GetCount(); }
  CSPort* GetLine(std::size_t i) const { return m_lines.GetAt(i); }

  // Live flag that gates all port traffic; read by the lines' reader threads.
  std::atomic<int> m_commsEnabled{0};
  int m_sonarActive = 0;
  CDSArray<CSPort> m_lines;
  std::array<CZepPort, kSonarPorts> m_zepPorts;
  std::array<unsigned, kSonarSlots> m_serialPortCounts{1, 1, 1, 1};
  std::list<int> m_comPorts;
  int m_routing = 0;
  CNyxWnd* m_pSonarWnd = nullptr;
  CPulsePerSecond m_pps;
  CECommTime m_commTime;
  // Device time for a ZDA without a pulse, in microseconds: the host arrival
  // time of the message that carried the ZDA (see ProcessZDA).
  double m_zdaFallbackTime = 0.0;
  unsigned char m_taskOutput = 0;
  CTskInf* m_pTask = nullptr;

  // Bytes of the sonars' serial ports, queued by the sonar side for the
  // trigger; draining them, the sonar ports' upkeep and info kinds 100, 106
  // and 108 belong to the sonar side.
  std::mutex m_sonarBytesLock;
  std::deque<SERIAL_BYTE_PACKET> m_sonarBytes;

 private:
  void SetLineCount(int count);
  void EnablePorts(int on);
  // Runs apply on the data of every task whose window is a sonar window.
  static void ForEachSonarTask(const std::function<void(CTaskData&)>& apply);
};
