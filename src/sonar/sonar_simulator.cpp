#include "sonar/sonar_simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <variant>

#include "host/host_time.h"
#include "host/task.h"
#include "sonar/zep_messages.h"

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();
constexpr unsigned char kStatusKind = 0;
// Serial-data messages are one UDP payload; a type 2 message with time stamps
// holds the fewest items.
constexpr int kMaxItems = (CZepNetMsg::kCapacity - CZepNetMsg::kType2ItemsAt) / CZepNetMsg::kStampedItemSize;

double CharacterTime(unsigned baud) { return baud > 0 ? 10.0 / baud : 10.0 / 9600; }

}  // namespace

struct CSonarSimulator::Output {
  struct Data {
    int length;
    std::unique_ptr<CZepNetMsg> msg;
  };
  struct Pps {
    std::uint16_t id;
    std::uint64_t deviceUs;
    unsigned char edge;
  };
  std::variant<Data, CZepStatusPacket, Pps> what;
};

CSonarSimulator::CSonarSimulator() : CSonarSimulator(TmSync::GetTm()) {}

CSonarSimulator::CSonarSimulator(double startHostTime) : m_start(startHostTime), m_lastStep(startHostTime) {}

CSonarSimulator::~CSonarSimulator() { Stop(); }

bool CSonarSimulator::AddHead(const SonarHeadConfig& config) {
  {
    std::lock_guard guard(m_stateLock);
    if (config.id == 0 || FindHead(config.id) != nullptr || m_heads.size() >= kMaxHeads) return false;
    if (config.serialPorts > 2) return false;
    auto head = std::make_unique<HeadSim>();
    head->config = config;
    head->config.maxItemsPerMessage = std::clamp(config.maxItemsPerMessage, 1, kMaxItems);
    head->ports = config.serialPorts != 0 ? config.serialPorts : (CTask::Is310XR(config.typeCode) ? 2u : 1u);
    // A head added later starts at the simulator's present, not in its past.
    if (config.statusInterval > 0.0) {
      head->statusCount = static_cast<long long>(std::ceil((m_lastStep - m_start) / config.statusInterval));
    }
    head->nextPps = std::ceil(m_lastStep);
    for (auto& port : head->port) port.lineFreeAt = -kNever;
    m_heads.push_back(std::move(head));
  }
  Wake();
  return true;
}

CSonarSimulator::HeadSim* CSonarSimulator::FindHead(int id) {
  for (auto& head : m_heads) {
    if (head->config.id == id) return head.get();
  }
  return nullptr;
}

const CSonarSimulator::HeadSim* CSonarSimulator::FindHead(int id) const {
  for (const auto& head : m_heads) {
    if (head->config.id == id) return head.get();
  }
  return nullptr;
}

CSonarSimulator::PortSim* CSonarSimulator::FindPort(int id, int serialIndex) {
  HeadSim* head = FindHead(id);
  if (head == nullptr || serialIndex < 0 || serialIndex >= static_cast<int>(head->ports)) return nullptr;
  return &head->port[static_cast<std::size_t>(serialIndex)];
}

bool CSonarSimulator::SetSource(std::uint16_t id, int serialIndex, std::unique_ptr<CSensorSource> source) {
  {
    std::lock_guard guard(m_stateLock);
    PortSim* port = FindPort(id, serialIndex);
    if (port == nullptr) return false;
    port->source = std::move(source);
    port->pending.reset();
  }
  Wake();
  return true;
}

bool CSonarSimulator::SetLoopback(std::uint16_t id, int serialIndex, bool on) {
  std::lock_guard guard(m_stateLock);
  PortSim* port = FindPort(id, serialIndex);
  if (port == nullptr) return false;
  port->state.loopback = on;
  return true;
}

void CSonarSimulator::SetSink(ISonarSink* sink) {
  std::lock_guard guard(m_deliveryLock);
  m_sink = sink;
}

std::uint64_t CSonarSimulator::DeviceUs(const HeadSim& head, double hostTime) const {
  const double us =
      (hostTime - m_start) * 1e6 * (1.0 + head.config.driftPpm * 1e-6) + head.config.offsetUs;
  // A clock never runs below zero, and the 48-bit stamps keep their low bits.
  if (!(us > 0.0)) return 0;
  if (us >= 1.8e19) return std::numeric_limits<std::uint64_t>::max();
  return static_cast<std::uint64_t>(std::llround(us));
}

std::uint64_t CSonarSimulator::DeviceMicroseconds(std::uint16_t id, double hostTime) const {
  std::lock_guard guard(m_stateLock);
  const HeadSim* head = FindHead(id);
  return head != nullptr ? DeviceUs(*head, hostTime) : 0;
}

void CSonarSimulator::PollSource(PortSim& port, double notBefore) {
  if (port.source && !port.pending) port.pending = port.source->Next(notBefore);
}

std::optional<CSonarSimulator::Event> CSonarSimulator::EarliestEvent() const {
  std::optional<Event> best;
  // Strictly earlier wins, so equal times keep head order, then the order of the kinds.
  auto consider = [&best](double time, HeadSim* head, EventKind kind, int serialIndex) {
    if (time < kNever && (!best || time < best->time)) best = Event{time, head, kind, serialIndex};
  };
  for (auto& head : m_heads) {
    HeadSim* h = head.get();
    if (h->config.statusInterval > 0.0) {
      consider(m_start + static_cast<double>(h->statusCount) * h->config.statusInterval, h, EventKind::kStatus, 0);
    }
    if (h->config.pps) consider(h->nextPps, h, EventKind::kPps, 0);
    for (int j = 0; j < static_cast<int>(h->ports); ++j) {
      PortSim& port = h->port[static_cast<std::size_t>(j)];
      double accept = kNever;
      if (port.pending) accept = port.pending->hostTime;
      if (!port.echoes.empty()) accept = std::min(accept, port.echoes.front().hostTime);
      consider(accept, h, EventKind::kAccept, j);
      if (!port.chunks.empty()) consider(port.chunks.front().deliverAt, h, EventKind::kDeliver, j);
    }
  }
  return best;
}

double CSonarSimulator::NextEventTime() const {
  std::lock_guard guard(m_stateLock);
  const auto event = EarliestEvent();
  return event ? event->time : kNever;
}

void CSonarSimulator::Accept(HeadSim& head, PortSim& port, SensorBurst burst, bool echo) {
  // A sensor at another rate than the port's is heard as garbage; an echo
  // travels at the port's own rate both ways.
  const unsigned sensorBaud = echo || !port.source ? 0 : port.source->Baud();
  const double charTime = CharacterTime(sensorBaud != 0 ? sensorBaud : static_cast<unsigned>(port.state.baud));
  const double lineStart = std::max(burst.hostTime, port.lineFreeAt);
  const auto perMessage = static_cast<std::size_t>(head.config.maxItemsPerMessage);
  double time = lineStart;
  for (std::size_t i = 0; i < burst.bytes.size(); ++i) {
    // A burst starts a message of its own.
    if (i == 0 || port.chunks.back().bytes.size() >= perMessage) port.chunks.push_back({});
    // Each byte is stamped when its last bit is in.
    time = lineStart + static_cast<double>(i + 1) * charTime;
    Chunk& chunk = port.chunks.back();
    const auto byte = static_cast<unsigned char>(burst.bytes[i]);
    chunk.bytes.push_back(static_cast<char>(ReceivedByte(byte, sensorBaud, static_cast<unsigned>(port.state.baud))));
    chunk.times.push_back(time);
    chunk.deliverAt = time;
  }
  if (!burst.bytes.empty()) port.lineFreeAt = time;
}

void CSonarSimulator::Deliver(HeadSim& head, int serialIndex, std::vector<Output>& out) {
  PortSim& port = head.port[static_cast<std::size_t>(serialIndex)];
  Chunk chunk = std::move(port.chunks.front());
  port.chunks.pop_front();
  // A port routed to a PC COM port sends nothing to the module.
  if (port.state.routeFlag != 0) return;
  CZepNetMsgBuilder builder = serialIndex == 0 && head.config.typeOneMessages
                                  ? CZepNetMsgBuilder::Type1(head.config.id)
                                  : CZepNetMsgBuilder::Type2(head.config.id, serialIndex, port.state.timeStamps);
  for (std::size_t i = 0; i < chunk.bytes.size(); ++i) {
    builder.Add(static_cast<unsigned char>(chunk.bytes[i]), DeviceUs(head, chunk.times[i]) & kDeviceTimeMask);
  }
  out.push_back({Output::Data{builder.Length(), std::make_unique<CZepNetMsg>(builder.Msg())}});
}

void CSonarSimulator::Process(const Event& event, std::vector<Output>& out) {
  HeadSim& head = *event.head;
  switch (event.kind) {
    case EventKind::kStatus:
      out.push_back({CZepStatusPacket::Make(head.config.id, kStatusKind, CZepStatusPacket::kTimeSyncFlag,
                                            head.config.typeCode, DeviceUs(head, event.time))});
      ++head.statusCount;
      break;
    case EventKind::kPps: {
      out.push_back({Output::Pps{head.config.id, DeviceUs(head, event.time), head.nextEdge}});
      const double second = std::floor(event.time);
      const double width = head.config.ppsWidth;
      if (head.nextEdge == 0 && width > 0.0 && width < 1.0) {
        head.nextPps = second + width;
        head.nextEdge = 1;
      } else {
        head.nextPps = second + 1.0;
        head.nextEdge = 0;
      }
      break;
    }
    case EventKind::kAccept: {
      PortSim& port = head.port[static_cast<std::size_t>(event.serialIndex)];
      const bool echo = !port.echoes.empty() && (!port.pending || port.echoes.front().hostTime < port.pending->hostTime);
      if (echo) {
        SensorBurst burst = std::move(port.echoes.front());
        port.echoes.pop_front();
        Accept(head, port, std::move(burst), true);
      } else {
        SensorBurst burst = std::move(*port.pending);
        port.pending.reset();
        const bool empty = burst.bytes.empty();
        Accept(head, port, std::move(burst), false);
        // The sensor's next burst cannot start before the line is free. One
        // that sent nothing is asked again on the next step, not in a loop.
        if (!empty) PollSource(port, std::max(port.lineFreeAt, event.time));
      }
      break;
    }
    case EventKind::kDeliver:
      Deliver(head, event.serialIndex, out);
      break;
  }
}

void CSonarSimulator::Step(double hostTime) {
  std::lock_guard delivery(m_deliveryLock);
  std::vector<Output> out;
  {
    std::lock_guard guard(m_stateLock);
    if (!std::isfinite(hostTime) || hostTime < m_lastStep) return;
    // Sources that had nothing at the last step may have something now.
    for (auto& head : m_heads) {
      for (unsigned j = 0; j < head->ports; ++j) {
        PortSim& port = head->port[j];
        PollSource(port, std::max(port.lineFreeAt, m_lastStep));
      }
    }
    while (auto event = EarliestEvent()) {
      if (event->time > hostTime) break;
      Process(*event, out);
    }
    m_lastStep = hostTime;
  }
  if (m_sink == nullptr) return;
  for (auto& output : out) {
    if (auto* data = std::get_if<Output::Data>(&output.what)) {
      m_sink->ZepRxData(data->length, data->msg.get());
    } else if (auto* status = std::get_if<CZepStatusPacket>(&output.what)) {
      m_sink->ZepRxStatus(status);
    } else if (auto* pps = std::get_if<Output::Pps>(&output.what)) {
      m_sink->OnPpsEdge(pps->id, pps->deviceUs, pps->edge);
    }
  }
}

void CSonarSimulator::Start() { m_stepper.Start(); }
void CSonarSimulator::Stop() { m_stepper.Stop(); }
bool CSonarSimulator::Running() const { return m_stepper.Running(); }
void CSonarSimulator::Wake() { m_stepper.Wake(); }

std::optional<SonarPortState> CSonarSimulator::Port(std::uint16_t id, int serialIndex) const {
  std::lock_guard guard(m_stateLock);
  const HeadSim* head = FindHead(id);
  if (head == nullptr || serialIndex < 0 || serialIndex >= static_cast<int>(head->ports)) return std::nullopt;
  return head->port[static_cast<std::size_t>(serialIndex)].state;
}

std::optional<SonarNetworkState> CSonarSimulator::Network(std::uint16_t id) const {
  std::lock_guard guard(m_stateLock);
  const HeadSim* head = FindHead(id);
  if (head == nullptr) return std::nullopt;
  return head->network;
}

std::vector<std::string> CSonarSimulator::Sent(std::uint16_t id, int serialIndex) const {
  std::lock_guard guard(m_stateLock);
  const HeadSim* head = FindHead(id);
  if (head == nullptr || serialIndex < 0 || serialIndex >= static_cast<int>(head->ports)) return {};
  return head->port[static_cast<std::size_t>(serialIndex)].sent;
}

int CSonarSimulator::InitComPort(int sonarId, int comPort, int baud, int, int routeFlag, int serialIndex) {
  std::lock_guard guard(m_stateLock);
  PortSim* port = FindPort(sonarId, serialIndex);
  if (port == nullptr) return 0;
  port->state.handle = m_nextHandle++;
  port->state.comPort = comPort;
  port->state.routeFlag = routeFlag;
  if (baud > 0) port->state.baud = port->state.pendingBaud = baud;
  return port->state.handle;
}

int CSonarSimulator::SetNetworkConfigToDefaults(int sonarId) {
  std::lock_guard guard(m_stateLock);
  HeadSim* head = FindHead(sonarId);
  if (head == nullptr) return 0;
  head->pendingNetwork = SonarNetworkState{};
  return 1;
}

int CSonarSimulator::SetNetworkRS232BaudRate(int sonarId, int baud) {
  std::lock_guard guard(m_stateLock);
  HeadSim* head = FindHead(sonarId);
  if (head == nullptr) return 0;
  head->pendingNetwork.baud = baud;
  return 1;
}

int CSonarSimulator::SetNetworkRS232Routing(int sonarId, int protocol, int local) {
  std::lock_guard guard(m_stateLock);
  HeadSim* head = FindHead(sonarId);
  if (head == nullptr) return 0;
  head->pendingNetwork.protocol = protocol;
  head->pendingNetwork.local = local;
  return 1;
}

int CSonarSimulator::SendZephraNetworkConfig(int sonarId) {
  std::lock_guard guard(m_stateLock);
  HeadSim* head = FindHead(sonarId);
  if (head == nullptr) return 0;
  const int configs = head->network.configs + 1;
  head->network = head->pendingNetwork;
  head->network.configs = head->pendingNetwork.configs = configs;
  return 1;
}

int CSonarSimulator::SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud) {
  std::lock_guard guard(m_stateLock);
  PortSim* port = FindPort(sonarId, serialIndex);
  if (port == nullptr || baud <= 0) return 0;
  port->state.pendingBaud = baud;
  return 1;
}

int CSonarSimulator::SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag) {
  std::lock_guard guard(m_stateLock);
  PortSim* port = FindPort(sonarId, serialIndex);
  if (port == nullptr) return 0;
  port->state.pendingTimeStamps = flag != 0;
  return 1;
}

int CSonarSimulator::SendZephraSerialConfig(int sonarId, int serialIndex) {
  std::lock_guard guard(m_stateLock);
  PortSim* port = FindPort(sonarId, serialIndex);
  if (port == nullptr) return 0;
  port->state.baud = port->state.pendingBaud;
  port->state.timeStamps = port->state.pendingTimeStamps;
  ++port->state.serialConfigs;
  return 1;
}

int CSonarSimulator::SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex) {
  {
    std::lock_guard guard(m_stateLock);
    PortSim* port = FindPort(sonarId, serialIndex);
    if (port == nullptr || bytes == nullptr || count <= 0) return 0;
    std::string sent(bytes, static_cast<std::size_t>(count));
    if (port->state.loopback) {
      // The echo cannot come back before the simulator's present.
      port->echoes.push_back({std::max(TmSync::GetTm(), m_lastStep), sent});
    }
    port->sent.push_back(std::move(sent));
  }
  Wake();
  return count;
}
