// A sonar library backend that plays up to four sonar hubs on the network.
// Each hub has a free-running microsecond clock from its start that drifts
// against host time, sends a status message every second, takes a
// pulse-per-second edge at every whole second and forwards the bytes of the
// sensors on its serial ports as data messages, once the module configured
// the port, garbled when the port's rate is not the sensor's. Serial commands
// are kept and acknowledged. Hub messages reach the module through the
// installed hub handler, as the library's own thread would deliver them.
//
// Only one backend can be installed: calls for sonar heads go to the inner
// backend (a head simulator, say), or nowhere.
//
// Step(t) emits every event due up to host time t, in time order; tests call
// it directly. Start() runs a thread that steps in real time, sleeping until
// the next event.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sonar/real_time_stepper.h"
#include "sonar/sensor_source.h"
#include "sonar/sonar_library.h"
#include "sonar/zep_messages.h"

// A hub serial port as the module configured it.
struct HubPortState {
  bool configured = false;  // ZEPHUB_ConfigPort taken since the hub was last deleted
  int baudIndex = 5;
  int dataBits = 4;
  int parity = 1;
  int stopBits = 1;
  int mode = 1;
  int configs = 0;          // ZEPHUB_ConfigPort calls taken
};

// What the module asked of a hub besides its ports.
struct HubLinkState {
  int stayAlives = 0;
  int deletes = 0;
  int retries = 0;
  int surveyOutput = -1;   // last ZEPHUB_SetSurveyNetworkEnable value; -1 never
  bool txToAlt = false;
  std::array<int, 4> altAddress{};
  std::array<int, 4> altMask{};
};

class CHubSimulator : public CZephraBackend {
 public:
  static constexpr int kMaxHubs = 4;
  static constexpr unsigned kPorts = 8;
  static constexpr std::uint16_t kFirstId = 100;
  // The sensors every hub carries: a GPS on port A, a motion sensor on port B.
  static constexpr int kGpsPort = 0;
  static constexpr int kMotionPort = 1;
  static constexpr unsigned kGpsBaud = 4800;
  static constexpr unsigned kMotionBaud = 9600;
  // The GPS starts its sentences this long after the pulse; the motion
  // sensor sends 10 times a second, this long after each tenth.
  static constexpr double kGpsDelay = 0.05;
  static constexpr double kMotionPeriod = 0.1;
  static constexpr double kMotionPhase = 0.02;
  static constexpr int kMaxItemsPerMessage = 32;

  // `hubs` hubs (clamped to 0..4) with identifiers 100, 101, ... whose
  // clocks start at `startHostTime`; head calls go to `inner` (may be null).
  CHubSimulator(int hubs, std::shared_ptr<CZephraBackend> inner, double startHostTime);
  CHubSimulator(int hubs, std::shared_ptr<CZephraBackend> inner = nullptr);
  // Stops the thread. Keep the simulator alive (hold a reference besides the
  // installed one) until it is stopped: it must not be released on its own thread.
  ~CHubSimulator() override;
  CHubSimulator(const CHubSimulator&) = delete;
  CHubSimulator& operator=(const CHubSimulator&) = delete;

  static std::uint16_t HubId(int k) { return static_cast<std::uint16_t>(kFirstId + k); }
  // The hub's rates by baud index (300 to 115200); 0 for an index outside 0..9.
  static unsigned BaudRate(int index);
  // The index of a rate, or -1.
  static int BaudIndex(unsigned rate);

  // Where head calls go from now on (null: nowhere).
  void SetInner(std::shared_ptr<CZephraBackend> inner);

  int HubCount() const { return m_hubCount; }
  double StartTime() const { return m_start; }
  // The hub falls silent this many seconds after the start; false for an unknown hub.
  bool Drop(std::uint16_t id, double afterSeconds);
  // Replaces the sensor on a port (null: none); false for an unknown hub or port.
  bool SetSource(std::uint16_t id, int port, std::unique_ptr<CSensorSource> source);

  void Step(double hostTime);
  // Host time of the next event; +infinity when none is scheduled.
  double NextEventTime() const;
  // The hub's clock at a host time; 0 for an unknown hub.
  std::uint64_t DeviceMicroseconds(std::uint16_t id, double hostTime) const;

  void Start();
  void Stop();
  // Blocks until the thread stepped past `hostTime` (true) or `timeoutSeconds` passed.
  bool WaitStepped(double hostTime, double timeoutSeconds);

  std::optional<HubPortState> Port(std::uint16_t id, int port) const;
  std::optional<HubLinkState> Link(std::uint16_t id) const;
  // Bytes of each ZEPHUB_SendSerialCommand to the port, in order.
  std::vector<std::string> Sent(std::uint16_t id, int port) const;

  int SetHubHandler(ZepHubHandler handler) override;
  int SetTimeSyncFunction(ZepTimeSyncFunction callback) override;
  int ConfigHubPort(int hubId, int port, int baudIndex, int dataBits, int parity, int stopBits, int mode) override;
  int SendSerialCommand(int hubId, int port, std::uint16_t count, const char* bytes) override;
  int SendHubStayAlive(int hubId) override;
  int RequestRetry(int hubId, int code, int sequence) override;
  int UseAltDeviceIPAddress(int hubId, int a0, int a1, int a2, int a3, int m0, int m1, int m2, int m3) override;
  int TxToAltIPAddress(int hubId, int flag) override;
  int SetSurveyNetworkEnable(int hubId, int output) override;
  int DeleteDeviceID(int hubId) override;

  int InitComPort(int sonarId, int comPort, int baud, int reserved, int routeFlag, int serialIndex) override;
  int SetNetworkConfigToDefaults(int sonarId) override;
  int SetNetworkRS232BaudRate(int sonarId, int baud) override;
  int SetNetworkRS232Routing(int sonarId, int protocol, int local) override;
  int SendZephraNetworkConfig(int sonarId) override;
  int SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud) override;
  int SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag) override;
  int SendZephraSerialConfig(int sonarId, int serialIndex) override;
  int SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex) override;

 private:
  struct Chunk {
    double deliverAt = 0.0;
    std::vector<SERIAL_BYTE_PACKET> items;
  };
  struct PortSim {
    HubPortState state;
    std::unique_ptr<CSensorSource> source;
    std::optional<SensorBurst> pending;
    std::deque<Chunk> chunks;
    double lineFreeAt = -std::numeric_limits<double>::infinity();
    std::vector<std::string> sent;
  };
  struct HubSim {
    std::uint16_t id = 0;
    int index = 0;
    double driftPpm = 0.0;
    double silentAt = std::numeric_limits<double>::infinity();
    long long statusCount = 0;
    double nextPps = 0.0;
    std::uint16_t ackSequence = 0;
    std::deque<std::uint16_t> acks;   // sequence values of serial commands to acknowledge
    HubLinkState link;
    std::array<PortSim, kPorts> port;
  };
  enum class EventKind { kStatus, kPps, kAck, kAccept, kDeliver };
  struct Event {
    double time;
    HubSim* hub;
    EventKind kind;
    int port;
  };
  struct Output {
    int kind;
    std::vector<unsigned char> bytes;
    std::uint64_t askTimeUs;   // a status asks the module for the time of this device time
  };

  HubSim* FindHub(int id);
  const HubSim* FindHub(int id) const;
  PortSim* FindPort(int id, int port);
  std::uint64_t DeviceUs(const HubSim& hub, double hostTime) const;
  std::optional<Event> EarliestEvent() const;
  void Process(const Event& event, std::vector<Output>& out);
  void Accept(HubSim& hub, int port, SensorBurst burst);
  std::vector<unsigned char> StatusMessage(const HubSim& hub, double hostTime) const;
  void Wake();

  const double m_start;
  const int m_hubCount;
  std::shared_ptr<CZephraBackend> Inner() const;

  mutable std::mutex m_innerLock;
  std::shared_ptr<CZephraBackend> m_inner;

  // Lock order: the delivery lock before the state lock; the thread lock is
  // never held while either is taken.
  mutable std::mutex m_deliveryLock;   // one step at a time, and the callbacks
  ZepHubHandler m_handler = nullptr;
  ZepTimeSyncFunction m_timeSync = nullptr;
  mutable std::mutex m_stateLock;
  std::vector<std::unique_ptr<HubSim>> m_hubs;
  double m_lastStep;

  std::mutex m_steppedLock;
  std::condition_variable m_stepped;
  double m_steppedTo;
  CRealTimeStepper m_stepper{[this](double hostTime) { Step(hostTime); }, [this] { return NextEventTime(); }};
};
