// The serial comms window: owns the PC COM lines and the eight sonar-routed
// ports, runs the trigger cycle that drains the lines into their ports, ages
// them and hands the task's output texts to encoding lines, answers the
// ports' upward calls, and stores every port's settings. Its sonar side
// (CSonarPorts) takes the sonar heads' serial bytes, status packets and pulse
// edges, configures the heads' serial ports and converts sonar time stamps to
// host time; the window forwards the sonar operations to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "comms/ecomm.h"
#include "host/ds_array.h"
#include "host/task.h"
#include "port/line_owner.h"
#include "port/serial_port.h"
#include "sonar/sonar_port_owner.h"
#include "sonar/sonar_ports.h"
#include "sonar/sonar_sink.h"
#include "sonar/zep_messages.h"
#include "sonar/zep_port.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"

class CECombo;
class CECtrl;
class CESet;

class CSComm : public CEComm, public ILineOwner, public ISonarSink, public ISonarPortOwner, public ISonarPortRows {
  NYX_DECLARE_DYNCREATE(CSComm)
 public:
  static constexpr int kSonarSlots = CSonarPorts::kSonarSlots;
  static constexpr int kSonarPorts = CSonarPorts::kSonarPorts;  // slot k serial j at 2k + j
  static constexpr int kMaxComPort = 128;

  CSComm();
  ~CSComm() override;

  void SetOption(const std::string& key, const std::string& value) override;
  void SetupCtrls() override;
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
  // The COM port numbers of the lines that stored settings hold, in line order.
  static std::vector<int> StoredComPorts(const CESet& set);

  // The PC COM ports that open now (ports this module holds open do not).
  void OpenCommPorts();
  void AddCommPortList(CECombo* combo, const std::string& prefix);

  void EnableCtrl(CECtrl* ctrl, int on);
  void ShowCtrl(CECtrl* ctrl, int on);
  // Controls of sonar port 2k + j.
  void UpdateAllControl(int k, int j, bool on) { m_sonar.UpdateAllControl(k, j, on); }
  void UpdateDecodingControls(int k, int j, bool on) { m_sonar.UpdateDecodingControls(k, j, on); }

  int GetMaxNumberOfSonars() const override { return kSonarSlots; }
  CZepPort& GetSonarPort(unsigned index) override { return m_sonar.Port(index); }
  unsigned GetNumberSerialPorts(int slot) const { return m_sonar.GetNumberSerialPorts(slot); }
  // The sonar-routed side.
  CSonarPorts& Sonar() { return m_sonar; }
  const CSonarPorts& Sonar() const { return m_sonar; }

  // The sonar side. The library's thread calls ZepRxData, ZepRxStatus and
  // OnPpsEdge; they only queue bytes, add clock samples and set the change
  // flags, and everything else waits for the trigger.
  void ZepRxData(int length, const CZepNetMsg* msg) override { m_sonar.ZepRxData(length, msg); }
  void ZepRxStatus(const CZepStatusPacket* packet) override { m_sonar.ZepRxStatus(packet); }
  void OnPpsEdge(std::uint16_t sonarId, std::uint64_t deviceMicroseconds, unsigned char edge) override {
    m_sonar.OnPpsEdge(sonarId, deviceMicroseconds, edge);
  }
  // Configures every sonar port that holds this sonar identifier.
  void InitZepRS232(int sonarId);
  // The routing combos' callback: shows or hides the decode controls and
  // re-initialises the ports the library already knows.
  void OnZepRouting() { m_sonar.OnZepRouting(); }
  // Sonar time to host time: 1 with the host time in out, or 0 (comms off,
  // no time) with out untouched.
  int ZepConvertToTimestamp(const CZepPingHead* head, double& out) { return m_sonar.ZepConvertToTimestamp(head, out); }
  int ZepConvertToTimestamp(const CZepDMGData* data, double& out) { return m_sonar.ZepConvertToTimestamp(data, out); }
  int ZepConvertToTimestamp(double seconds, unsigned short sonarId, double& out) {
    return m_sonar.ZepConvertToTimestamp(seconds, sonarId, out);
  }
  // Sends through the sonar while comms are on and the sonar is active.
  void SendZepData(int sonarId, TX_MSG* msg, int serialIndex) override { m_sonar.SendZepData(sonarId, msg, serialIndex); }
  // Identifiers of the sonar task's entries into the slots.
  void UpdateZephraIDs(bool enable) { m_sonar.UpdateZephraIDs(enable); }
  // The loopback test sentence, stamped with the local time; the time argument is not used.
  void SendLoopbackData(int sonarId, double time, int serialIndex) { m_sonar.SendLoopbackData(sonarId, time, serialIndex); }
  // The slot of a sonar identifier (the last matching slot), or -1.
  int FindSonarSlot(std::uint16_t sonarId) const { return m_sonar.FindSonarSlot(sonarId); }

  // Panel rows, also laid into other windows (the sonar ports page). They
  // use this window's sync-character names, banks and age-slider list.
  void AddHeader(CNyxWnd& wnd, CList_Ptr<CECtrl*>& list, bool addToList) override;
  void AddDecodingOptions(CNyxWnd& wnd, unsigned index, CList_Ptr<CECtrl*>& list, CPort& port,
                          const std::string& prefix) override;
  void AddZephraHeaderCtrls(CNyxWnd& wnd) override;
  void AddZephraCtrls(CNyxWnd& wnd, unsigned sonar, unsigned serial) override;
  // Drops every reference this window's lines, sonar ports and age-slider
  // list hold to the controls of owner, before owner clears them to rebuild.
  void ForgetCtrls(const CCtrlCat& owner) override;

  bool CommsEnabled() const override { return m_commsEnabled.load() != 0; }
  std::size_t GetLineCount() const { return m_lines.GetCount(); }
  CSPort* GetLine(std::size_t i) const { return m_lines.GetAt(i); }

  // Live flag that gates all port traffic; read by the lines' reader threads.
  std::atomic<int> m_commsEnabled{0};
  CDSArray<CSPort> m_lines;
  std::list<int> m_comPorts;
  CNyxWnd* m_pSonarWnd = nullptr;
  CPulsePerSecond m_pps;
  // GPS time of the ZDAs: the use-GPS and PC-clock flags, the pulse samples.
  CECommTime m_commTime;
  // Sonar seconds to host time for sonars without a slot; every status packet
  // adds to it. Kept apart from m_commTime, whose device times are the pulses'.
  CECommTime m_defaultTime;
  // Device time for a ZDA without a pulse, in microseconds: the host arrival
  // time of the message that carried the ZDA (see ProcessZDA).
  double m_zdaFallbackTime = 0.0;
  unsigned char m_taskOutput = 0;
  CTskInf* m_pTask = nullptr;

 private:
  void SetLineCount(int count);
  void EnablePorts(int on);
  void SetupSingleLine();
  void SetupSeveralLines();
  // Runs apply on the data of every task whose window is a sonar window.
  static void ForEachSonarTask(const std::function<void(CTaskData&)>& apply);

  CSonarPorts m_sonar{*this, *this, m_defaultTime, m_pps};
};
