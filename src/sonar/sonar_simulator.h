// A sonar library backend that plays up to four sonar heads. Each head has a
// free-running microsecond clock that drifts against host time, sends a status
// packet every second, timestamps the pulse-per-second edges on its pulse input,
// and forwards the bytes of the sensors wired to its serial ports as serial-data
// messages. It takes the module's port configuration as a real head would, and
// keeps what the module sends out on each port.
//
// Everything reaches the module through an ISonarSink. Step(t) emits every
// event due up to host time t, in time order; tests call it directly. Start()
// runs a thread that steps in real time, sleeping until the next event.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sonar/real_time_stepper.h"
#include "sonar/sensor_source.h"
#include "sonar/sonar_library.h"
#include "sonar/sonar_sink.h"

struct SonarHeadConfig {
  std::uint16_t id = 0;           // the sonar identifier (nonzero)
  unsigned char typeCode = 0;     // the sonar type code of its status packets
  unsigned serialPorts = 0;       // 1 or 2; 0 takes two for a type code the host calls 310XR, else one
  double driftPpm = 20.0;         // the device clock runs this much fast (negative: slow)
  double offsetUs = 0.0;          // device time at the simulator's start, microseconds
  double statusInterval = 1.0;    // seconds between status packets; 0: none
  bool typeOneMessages = false;   // the first serial port's data as type 1 messages (always time-stamped)
  bool pps = true;                // a GPS pulse on the pulse input at every whole host second
  double ppsWidth = 0.1;          // seconds from the positive to the negative edge; 0: positive edges only
  int maxItemsPerMessage = 32;    // bytes per serial-data message, at most
};

// A serial port of a head as the module configured it.
struct SonarPortState {
  int handle = 0;            // result of the last ZEPX_InitComPort (0: never initialised)
  int comPort = 0;           // PC COM port of a routed port
  int routeFlag = 0;         // 1: the data goes to that COM port and not to the module
  int baud = 9600;           // line rate in effect
  bool timeStamps = true;    // type 2 messages carry time stamps
  int pendingBaud = 9600;    // set, waiting for ZEPX_SendZephraSerialConfig
  bool pendingTimeStamps = true;
  int serialConfigs = 0;     // ZEPX_SendZephraSerialConfig calls taken
  bool loopback = false;     // what is sent comes back as received bytes
};

// The head's network link settings as the module configured them.
struct SonarNetworkState {
  int baud = 9600;
  int protocol = 0;          // 0 RS232, 4 RS485
  int local = 1;             // 1: data comes to the program
  int configs = 0;           // ZEPX_SendZephraNetworkConfig calls taken
};

class CSonarSimulator : public CZephraBackend {
 public:
  static constexpr int kMaxHeads = 4;

  // The device clocks count from `startHostTime` (default: now).
  CSonarSimulator();
  explicit CSonarSimulator(double startHostTime);
  // Stops the thread. Keep the simulator alive (hold a reference besides the
  // installed one) until it is stopped: it must not be released on its own
  // thread.
  ~CSonarSimulator() override;
  CSonarSimulator(const CSonarSimulator&) = delete;
  CSonarSimulator& operator=(const CSonarSimulator&) = delete;

  // False for a fifth head, id 0, an id already present or a port count above 2.
  bool AddHead(const SonarHeadConfig& config);
  // Wires a sensor to a serial port (null removes it); false when the head or port does not exist.
  bool SetSource(std::uint16_t id, int serialIndex, std::unique_ptr<CSensorSource> source);
  // Echo what the module sends on the port back into its received bytes. The
  // module's "Loopback" routing never reaches the library, so the test set-up
  // of the wire is chosen here.
  bool SetLoopback(std::uint16_t id, int serialIndex, bool on);
  // Where the traffic goes (null: nowhere). Once this returns, the previous sink
  // is no longer called. A sink may call the
  // library (ZEPX_SendRS232Ex), but not SetSink, Step or Stop.
  void SetSink(ISonarSink* sink);

  // Emits every event due at or before `hostTime`, in time order. A time before
  // the last step, or not finite, emits nothing.
  void Step(double hostTime);
  // Host time of the next event; +infinity when none is scheduled.
  double NextEventTime() const;
  double StartTime() const { return m_start; }
  // The head's clock at a host time; 0 for an unknown head.
  std::uint64_t DeviceMicroseconds(std::uint16_t id, double hostTime) const;

  // The thread steps at TmSync::GetTm(), waking for each event. Start on a
  // running simulator and Stop on a stopped one do nothing.
  void Start();
  void Stop();
  bool Running() const;
  // Makes the thread look at the clock and the schedule again now (after a
  // test clock was moved or a queue source was fed).
  void Wake();

  // What the module configured; empty for an unknown head or port.
  std::optional<SonarPortState> Port(std::uint16_t id, int serialIndex) const;
  std::optional<SonarNetworkState> Network(std::uint16_t id) const;
  // Bytes of each ZEPX_SendRS232Ex to the port, in order.
  std::vector<std::string> Sent(std::uint16_t id, int serialIndex) const;

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
  // Bytes on their way to the module: one serial-data message once its last byte is in.
  struct Chunk {
    double deliverAt = 0.0;
    std::vector<double> times;   // host time each byte was received
    std::string bytes;
  };
  struct PortSim {
    SonarPortState state;
    std::unique_ptr<CSensorSource> source;
    std::optional<SensorBurst> pending;   // the source's next burst, not yet on the line
    std::deque<SensorBurst> echoes;       // sent bytes on their way back
    std::deque<Chunk> chunks;
    double lineFreeAt;
    std::vector<std::string> sent;
  };
  struct HeadSim {
    SonarHeadConfig config;
    unsigned ports = 1;
    long long statusCount = 0;            // status packets sent
    double nextPps = 0.0;
    unsigned char nextEdge = 0;
    SonarNetworkState network;
    SonarNetworkState pendingNetwork;
    std::array<PortSim, 2> port;
  };
  struct Output;
  enum class EventKind { kStatus, kPps, kAccept, kDeliver };
  struct Event {
    double time;
    HeadSim* head;
    EventKind kind;
    int serialIndex;
  };

  HeadSim* FindHead(int id);
  const HeadSim* FindHead(int id) const;
  PortSim* FindPort(int id, int serialIndex);
  std::uint64_t DeviceUs(const HeadSim& head, double hostTime) const;
  std::optional<Event> EarliestEvent() const;
  void Process(const Event& event, std::vector<Output>& out);
  void Accept(HeadSim& head, PortSim& port, SensorBurst burst, bool echo);
  void Deliver(HeadSim& head, int serialIndex, std::vector<Output>& out);
  void PollSource(PortSim& port, double notBefore);

  const double m_start;

  // Lock order: the delivery lock before the state lock. The thread lock is
  // never held while either is taken.
  std::mutex m_deliveryLock;   // one step at a time, and the sink
  ISonarSink* m_sink = nullptr;
  mutable std::mutex m_stateLock;
  std::vector<std::unique_ptr<HeadSim>> m_heads;
  double m_lastStep;
  int m_nextHandle = 1;

  CRealTimeStepper m_stepper{[this](double hostTime) { Step(hostTime); }, [this] { return NextEventTime(); }};
};
