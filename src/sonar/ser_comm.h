// The hub comms window: connects the program to one sonar hub through the
// sonar library's hub interface. It keeps the process-wide list of hubs heard
// on the network, selects one by its identifier, configures the hub's eight
// serial ports, feeds the bytes the hub forwards into those ports on each
// trigger, sends data out through the hub, keeps a clock model of the hub's
// device time and answers the library's requests for the time.
//
// Threads: the library's thread runs the message handler and the time
// callback; they only queue bytes, add clock samples, update the hub list and
// set the time text. Everything else runs on the window thread.
// Lock order: s_windowLock, then s_zepHubStLock or m_stateLock, then the
// byte-list lock, then a clock model's or a port's lock.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "comms/ecomm.h"
#include "host/ds_array.h"
#include "host/list_ptr.h"
#include "sonar/hub_status.h"
#include "sonar/zep_hub_port.h"
#include "sonar/zep_messages.h"
#include "time/comm_time.h"
#include "time/pulse_per_second.h"

class CECtrl;
class CESet;

class CSerComm : public CEComm {
  NYX_DECLARE_DYNCREATE(CSerComm)
 public:
  static constexpr unsigned kHubPorts = 8;
  static constexpr std::uint32_t kHubExpiryMs = 5000;
  static constexpr std::uint32_t kTriggersBeforeAging = 20;
  static constexpr int kHubLineId = 1190;

  CSerComm();
  ~CSerComm() override;

  CZepHubPort& HubPort(unsigned index) { return *m_ports[index]; }

  void SetupCtrls() override;
  void OnTrigger(double now, double dt) override;
  void OnPoll(double now) override;
  void OnInfoMsg(int kind, void* data) override;
  void Settings(CESetObj& obj) override;

  void SendData(unsigned port, const char* text) override;
  void SendData(unsigned port, TX_MSG* msg) override;
  void NewData(unsigned port, double time, std::string text) override;
  void SendBaud(unsigned port) override;
  void ProcessZDA(CTm80& gpsTime, const SYSTEMTIME& utc) override;
  void OnEnableBtn() override;
  void PortUpdated(CPort& port) override;

  // What the library's thread hands over.
  void RxData(int length, const unsigned char* message);
  void RxSerialAck(int length, const unsigned char* message);
  void RxSerialStatus(int, const unsigned char*) {}

  // Hub time stamps to host time: 1 with the time in out, 0 while comms are off.
  int ZepConvertToTimestamp(const CZepPingHead* head, double& out);
  int ZepConvertToTimestamp(const CZepDMGData* data, double& out);

  void OnSurveyNetworkEnable();
  // Enables the network-output controls for code 3, disables them otherwise.
  void UpdateSurveyNetwork(unsigned short code);
  // Recomputes every port's mode code, whose echo nibble follows the pulse edge.
  void OnPPSEdge();
  // The GPS-validity check: m_bGpsInvalid from the ZDA ports and the pulse.
  void VerifyTimeSource();
  bool VerifyTimeSource(unsigned port);
  void OnTimeSource();

  // Settings files: the "SerComm" column of the ports and the pulse.
  void SaveSet(CESet& set);
  void LoadSet(CESet& set);
  // Export and import with the file chosen by the caller; false on failure.
  bool Import(const std::string& path);
  bool Export(const std::string& path);

  // The hubs heard. A non-null record comes with s_zepHubStLock held; the
  // caller unlocks it when done with the record.
  static CZepHubStatus* GetZepHubStatus(unsigned short id, int create);
  static CZepHubStatus* GetZepHubFirst();
  static int GetZepHubCount();
  // Copies of the records in list order.
  static std::vector<CZepHubStatus> HubSnapshot();

  // The library's callbacks.
  static void HubHandler(int kind, int length, const unsigned char* message);
  static bool TimeSync(std::uint64_t deviceMicroseconds, std::uint32_t* seconds, std::uint32_t* microseconds);

  bool CommsEnabled() const { return m_commsEnabled.load() != 0; }
  // The time text the callback last set, as the panel shows it after a refresh.
  std::string TimeText() const;

  static CList_Ptr<CZepHubStatus*> s_zepHubStatus;
  static std::recursive_mutex s_zepHubStLock;

  double m_lastHubDeviceTime = 0.0;  // microseconds
  double m_hubClock = 0.0;           // host time of the latest hub byte
  std::uint32_t m_triggersSinceByte = 0;
  unsigned short m_hubId = 100;
  CECtrl* m_pHubIdCtrl = nullptr;
  std::atomic<int> m_bGpsInvalid{0};
  int m_timeSource = 0;  // 0 GPS, 1 PC Clock
  std::array<CECtrl*, 2> m_networkCtrls{};
  unsigned short m_networkOutput = 1;  // 0 Disabled, 1 Unframed, 2 Framed
  std::string m_shownTime;
  CECommTime m_commTime;
  CPulsePerSecond m_pps;
  // Live flag: set when comms start or stop, read by the library's thread.
  std::atomic<int> m_commsEnabled{0};

 private:
  struct HubAddress {
    std::uint32_t ip = 0;
    std::uint32_t mask = 0;
  };
  void StartComms();
  void StopComms();
  // Sends the selected hub its address, output mode and port configuration.
  void ConfigureHub(const HubAddress& address);
  void ConfigureLateHub();
  void ResolvePort(unsigned port, std::array<bool, kHubPorts>& resolved);
  static void OnHubStatus(CSerComm* wnd, const unsigned char* message, int length);
  bool TimeSyncFor(std::uint64_t deviceMicroseconds, std::uint32_t* seconds, std::uint32_t* microseconds);
  void VerifyTimeSourceAs(int timeSource);
  bool ZdaPortState(unsigned port, bool& zda);
  void EnableCtrl(CECtrl* ctrl, bool on);
  void ForgetCtrls();

  CDSArray<CZepHubPort> m_ports;
  std::mutex m_bytesLock;
  std::deque<SERIAL_BYTE_PACKET> m_bytes;
  mutable std::mutex m_timeTextLock;
  std::string m_timeText;
  // Guards the port and pulse state the time callback reads against the trigger.
  std::recursive_mutex m_stateLock;
  // Window-thread copies the library's thread reads.
  std::atomic<unsigned> m_rxHubId{100};
  std::atomic<int> m_timeSourceSeen{0};
  // The selected hub got its configuration since comms started.
  bool m_hubConfigured = false;

  static std::mutex s_windowLock;
  static CSerComm* s_window;
};
