// The serial comms window: owns the PC COM lines and the eight sonar-routed
// ports, runs the trigger cycle that drains the lines into their ports, ages
// them and hands the task's output texts to encoding lines, answers the
// ports' upward calls, and stores every port's settings. On its sonar side it
// takes the sonar heads' serial bytes, status packets and pulse edges (from
// the sonar library's thread), configures the heads' serial ports through the
// library and converts sonar time stamps to host time.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <mutex>
#include <string>

#include "comms/ecomm.h"
#include "host/ds_array.h"
#include "host/task.h"
#include "port/serial_port.h"
#include "sonar/sonar_sink.h"
#include "sonar/zep_messages.h"
#include "sonar/zep_port.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"

class CECombo;
class CECtrl;
class CESet;

class CSComm : public CEComm, public ISonarSink {
  NYX_DECLARE_DYNCREATE(CSComm)
 public:
  static constexpr int kSonarSlots = 4;
  static constexpr int kSonarPorts = 8;  // two serial ports per slot, slot k serial j at 2k + j
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

  // The sonar side. The library's thread calls ZepRxData, ZepRxStatus and
  // OnPpsEdge; they only queue bytes, add clock samples and set the change
  // flags, and everything else waits for the trigger.
  void ZepRxData(int length, const CZepNetMsg* msg) override;
  void ZepRxStatus(const CZepStatusPacket* packet) override;
  void OnPpsEdge(std::uint16_t sonarId, std::uint64_t deviceMicroseconds, unsigned char edge) override;
  // Configures every sonar port that holds this sonar identifier.
  void InitZepRS232(int sonarId);
  // The routing combos' callback: shows or hides the decode controls and
  // re-initialises the ports the library already knows.
  void OnZepRouting();
  // Sonar time to host time: 1 with the host time in out, or 0 (comms off,
  // no time) with out untouched.
  int ZepConvertToTimestamp(const CZepPingHead* head, double& out);
  int ZepConvertToTimestamp(const CZepDMGData* data, double& out);
  int ZepConvertToTimestamp(double seconds, unsigned short sonarId, double& out);
  // Sends through the sonar while comms are on and the sonar is active.
  void SendZepData(int sonarId, TX_MSG* msg, int serialIndex);
  // Identifiers of the sonar task's entries into the slots.
  void UpdateZephraIDs(bool enable);
  // The loopback test sentence, stamped with the local time; the time argument is not used.
  void SendLoopbackData(int sonarId, double time, int serialIndex);
  // The slot of a sonar identifier (the last matching slot), or -1.
  int FindSonarSlot(std::uint16_t sonarId) const;

  // Panel rows, also laid into other windows (the sonar ports page). They
  // use this window's sync-character names, banks and age-slider list.
  void AddHeader(CNyxWnd& wnd, CList_Ptr<CECtrl*>& list, bool addToList);
  void AddDecodingOptions(CNyxWnd& wnd, unsigned index, CList_Ptr<CECtrl*>& list, CPort& port,
                          const std::string& prefix);
  void AddZephraHeaderCtrls(CNyxWnd& wnd);
  void AddZephraCtrls(CNyxWnd& wnd, unsigned sonar, unsigned serial);
  // Drops every reference this window's lines, sonar ports and age-slider
  // list hold to the controls of owner, before owner clears them to rebuild.
  void ForgetCtrls(const CCtrlCat& owner);

  bool CommsEnabled() const { return m_commsEnabled.load() != 0; }
  std::size_t GetLineCount() const { return m_lines.GetCount(); }
  CSPort* GetLine(std::size_t i) const { return m_lines.GetAt(i); }

  // Live flag that gates all port traffic; read by the lines' reader threads.
  std::atomic<int> m_commsEnabled{0};
  std::atomic<int> m_sonarActive{0};
  CDSArray<CSPort> m_lines;
  std::array<CZepPort, kSonarPorts> m_zepPorts;
  // Read by the library's thread and the trigger, written by both.
  std::array<std::atomic<unsigned>, kSonarSlots> m_serialPortCounts{1, 1, 1, 1};
  // The identifier of each slot's first port as the library's thread sees
  // it. The ports' own index is the window thread's copy: the trigger brings
  // it up to date when the identifiers changed.
  std::array<std::atomic<unsigned>, kSonarSlots> m_slotIds{0, 0, 0, 0};
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

  // Bytes of the sonars' serial ports and their pulse edges (port 0xFF),
  // queued by the library's thread for the trigger. Lock order: the host
  // lock, this lock, then a clock model's lock or a port's lock.
  std::mutex m_sonarBytesLock;
  std::deque<SERIAL_BYTE_PACKET> m_sonarBytes;
  // Set by the library's thread, taken by the trigger.
  std::mutex m_idsChangedLock;
  bool m_idsChanged = false;
  std::mutex m_platformChangedLock;
  bool m_platformChanged = false;

 private:
  void SetLineCount(int count);
  void EnablePorts(int on);
  // Trigger steps of the sonar side; each returns its change count.
  int DrainSonarBytes();
  int ServiceSonarPorts(double now, double dt);
  void TakeSonarChanges();
  // A sonar port's identifier, kept for the library's thread too.
  void SetPortIdentifier(int slot, int serialIndex, unsigned sonarId);
  void SetupSingleLine();
  void SetupSeveralLines();
  // Runs apply on the data of every task whose window is a sonar window.
  static void ForEachSonarTask(const std::function<void(CTaskData&)>& apply);
};
