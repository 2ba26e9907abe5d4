// The serial ports the sonar heads carry, as one window owns them: eight
// ports (two per sonar slot), the bytes and pulse edges the library's thread
// queues for the trigger, the slots' sonar identifiers and port counts, and
// the heads' port configuration through the sonar library. The window keeps
// the comms switch, its own clock models and the panel; it forwards the
// sonar operations here.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "host/tx_msg.h"
#include "sonar/zep_messages.h"
#include "sonar/zep_port.h"

class CECommTime;
class CECtrl;
class CNyxComm;
class CPulsePerSecond;
class CTskInf;
class ILineOwner;

class CSonarPorts {
 public:
  static constexpr int kSonarSlots = 4;
  static constexpr int kSonarPorts = 8;  // two serial ports per slot, slot k serial j at 2k + j

  // window owns the ports (their upward calls go there) and is laid out again
  // when the identifiers change; comms gates all traffic; defaultTime is the
  // window's clock model of sonars without a slot and pps its pulse tracker.
  CSonarPorts(CNyxComm& window, const ILineOwner& comms, CECommTime& defaultTime, CPulsePerSecond& pps);
  CSonarPorts(const CSonarPorts&) = delete;
  CSonarPorts& operator=(const CSonarPorts&) = delete;

  CZepPort& Port(std::size_t index) { return m_ports[index]; }
  const CZepPort& Port(std::size_t index) const { return m_ports[index]; }
  std::array<CZepPort, kSonarPorts>& Ports() { return m_ports; }
  const std::array<CZepPort, kSonarPorts>& Ports() const { return m_ports; }

  // Every port owned by the window, slot k's ports with identifier k.
  void AttachPorts();
  void SetTask(CTskInf* task) { m_pTask = task; }
  void Enable(int on);

  // The library's thread.
  void ZepRxData(int length, const CZepNetMsg* msg);
  void ZepRxStatus(const CZepStatusPacket* packet);
  void OnPpsEdge(std::uint16_t sonarId, std::uint64_t deviceMicroseconds, unsigned char edge);
  // Queues one byte (or an edge, port 0xFF) for the trigger.
  void Queue(const SERIAL_BYTE_PACKET& packet);
  // What waits for the trigger; TakeQueued empties the queue too.
  std::vector<SERIAL_BYTE_PACKET> Queued() const;
  std::vector<SERIAL_BYTE_PACKET> TakeQueued();

  // The trigger: each returns its change count.
  int DrainBytes();
  int ServicePorts(double now, double dt);
  // Takes the flags the library's thread set: identifiers, platform.
  void TakeChanges();

  void InitZepRS232(int sonarId);
  void OnZepRouting();
  int ZepConvertToTimestamp(const CZepPingHead* head, double& out);
  int ZepConvertToTimestamp(const CZepDMGData* data, double& out);
  int ZepConvertToTimestamp(double seconds, unsigned short sonarId, double& out);
  void SendZepData(int sonarId, TX_MSG* msg, int serialIndex);
  void UpdateZephraIDs(bool enable);
  void SendLoopbackData(int sonarId, double time, int serialIndex);
  int FindSonarSlot(std::uint16_t sonarId) const;
  unsigned GetNumberSerialPorts(int slot) const;
  void UpdateAllControl(int k, int j, bool on);
  void UpdateDecodingControls(int k, int j, bool on);

  std::atomic<int> m_sonarActive{0};
  // Read by the library's thread and the trigger, written by both.
  std::array<std::atomic<unsigned>, kSonarSlots> m_serialPortCounts{1, 1, 1, 1};
  // The identifier of each slot's first port as the library's thread sees
  // it. The ports' own index is the window thread's copy: the trigger brings
  // it up to date when the identifiers changed.
  std::array<std::atomic<unsigned>, kSonarSlots> m_slotIds{0, 0, 0, 0};
  int m_routing = 0;

 private:
  // A sonar port's identifier, kept for the library's thread too.
  void SetPortIdentifier(int slot, int serialIndex, unsigned sonarId);
  void EnableCtrl(CECtrl* ctrl, bool on);
  void ShowCtrl(CECtrl* ctrl, bool on);

  CNyxComm& m_window;
  const ILineOwner& m_comms;
  CECommTime& m_defaultTime;  // the model of sonars without a slot
  CPulsePerSecond& m_pps;
  CTskInf* m_pTask = nullptr;
  std::array<CZepPort, kSonarPorts> m_ports;

  // Bytes of the sonars' serial ports and their pulse edges (port 0xFF),
  // queued by the library's thread for the trigger. Lock order: the host
  // lock, this lock, then a clock model's lock or a port's lock.
  mutable std::mutex m_bytesLock;
  std::deque<SERIAL_BYTE_PACKET> m_bytes;
  // Set by the library's thread, taken by the trigger.
  std::mutex m_idsChangedLock;
  bool m_idsChanged = false;
  std::mutex m_platformChangedLock;
  bool m_platformChanged = false;
};
