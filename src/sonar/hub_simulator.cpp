#include "sonar/hub_simulator.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "host/host_time.h"
#include "sonar/hub_messages.h"
#include "sonar/zep_messages.h"

namespace {

constexpr double kNever = std::numeric_limits<double>::infinity();
constexpr std::array<unsigned, 10> kBaudRates = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// Crystal clocks within a few tens of ppm of each other.
constexpr std::array<double, CHubSimulator::kMaxHubs> kDriftPpm = {25.0, -15.0, 40.0, -30.0};

constexpr std::uint16_t kVersion = 0x0203;
constexpr std::uint16_t kSupplyCentivolts = 2400;
// Words that decode to about 35.0 and 22.2 degrees, and sensors reading 12.5 and -3.25.
constexpr std::uint16_t kTemperature1 = 626;
constexpr std::uint16_t kTemperature2 = 600;
constexpr std::uint16_t kSensor1 = 0x8000 | 50;
constexpr std::uint16_t kSensor2 = 0x8000 | (1024 - 13);
// Two links up (100 and 1000 Mbit/s), the third down.
constexpr std::array<std::uint16_t, 3> kLinks = {0x0900, 0x0A00, 0x0000};

double CharacterTime(unsigned baud) { return 10.0 / (baud > 0 ? baud : 9600); }

}  // namespace

unsigned CHubSimulator::BaudRate(int index) {
  return index >= 0 && index < static_cast<int>(kBaudRates.size()) ? kBaudRates[static_cast<std::size_t>(index)] : 0;
}

int CHubSimulator::BaudIndex(unsigned rate) {
  const auto it = std::find(kBaudRates.begin(), kBaudRates.end(), rate);
  return it == kBaudRates.end() ? -1 : static_cast<int>(it - kBaudRates.begin());
}

CHubSimulator::CHubSimulator(int hubs, std::shared_ptr<CZephraBackend> inner)
    : CHubSimulator(hubs, std::move(inner), TmSync::GetTm()) {}

CHubSimulator::CHubSimulator(int hubs, std::shared_ptr<CZephraBackend> inner, double startHostTime)
    : m_start(startHostTime),
      m_hubCount(std::clamp(hubs, 0, kMaxHubs)),
      m_inner(std::move(inner)),
      m_lastStep(startHostTime),
      m_steppedTo(-kNever) {
  for (int k = 0; k < m_hubCount; ++k) {
    auto hub = std::make_unique<HubSim>();
    hub->id = HubId(k);
    hub->index = k;
    hub->driftPpm = kDriftPpm[static_cast<std::size_t>(k)];
    hub->nextPps = std::ceil(startHostTime);
    hub->port[kGpsPort].source = std::make_unique<CGgaZdaSource>(kGpsDelay, kGpsBaud);
    hub->port[kMotionPort].source = std::make_unique<CTss1Source>(kMotionPeriod, kMotionPhase, kMotionBaud);
    m_hubs.push_back(std::move(hub));
  }
}

CHubSimulator::~CHubSimulator() { Stop(); }

CHubSimulator::HubSim* CHubSimulator::FindHub(int id) {
  for (auto& hub : m_hubs) {
    if (hub->id == id) return hub.get();
  }
  return nullptr;
}

const CHubSimulator::HubSim* CHubSimulator::FindHub(int id) const {
  for (const auto& hub : m_hubs) {
    if (hub->id == id) return hub.get();
  }
  return nullptr;
}

CHubSimulator::PortSim* CHubSimulator::FindPort(int id, int port) {
  HubSim* hub = FindHub(id);
  if (hub == nullptr || port < 0 || port >= static_cast<int>(kPorts)) return nullptr;
  return &hub->port[static_cast<std::size_t>(port)];
}

bool CHubSimulator::Drop(std::uint16_t id, double afterSeconds) {
  {
    std::lock_guard guard(m_stateLock);
    HubSim* hub = FindHub(id);
    if (hub == nullptr || !(afterSeconds >= 0.0)) return false;
    hub->silentAt = m_start + afterSeconds;
  }
  Wake();
  return true;
}

bool CHubSimulator::SetSource(std::uint16_t id, int port, std::unique_ptr<CSensorSource> source) {
  {
    std::lock_guard guard(m_stateLock);
    PortSim* sim = FindPort(id, port);
    if (sim == nullptr) return false;
    sim->source = std::move(source);
    sim->pending.reset();
  }
  Wake();
  return true;
}

std::uint64_t CHubSimulator::DeviceUs(const HubSim& hub, double hostTime) const {
  const double us = (hostTime - m_start) * 1e6 * (1.0 + hub.driftPpm * 1e-6);
  return us > 0.0 ? static_cast<std::uint64_t>(std::llround(us)) : 0;
}

std::uint64_t CHubSimulator::DeviceMicroseconds(std::uint16_t id, double hostTime) const {
  std::lock_guard guard(m_stateLock);
  const HubSim* hub = FindHub(id);
  return hub != nullptr ? DeviceUs(*hub, hostTime) : 0;
}

std::optional<CHubSimulator::Event> CHubSimulator::EarliestEvent() const {
  std::optional<Event> best;
  // Strictly earlier wins: equal times keep hub order, then the order of the kinds.
  auto consider = [&best](double time, HubSim* hub, EventKind kind, int port) {
    if (time < hub->silentAt && (!best || time < best->time)) best = Event{time, hub, kind, port};
  };
  for (const auto& owned : m_hubs) {
    HubSim* hub = owned.get();
    consider(m_start + static_cast<double>(hub->statusCount), hub, EventKind::kStatus, 0);
    consider(hub->nextPps, hub, EventKind::kPps, 0);
    if (!hub->acks.empty()) consider(m_lastStep, hub, EventKind::kAck, 0);
    for (int j = 0; j < static_cast<int>(kPorts); ++j) {
      const PortSim& port = hub->port[static_cast<std::size_t>(j)];
      if (port.pending) consider(port.pending->hostTime, hub, EventKind::kAccept, j);
      if (!port.chunks.empty()) consider(port.chunks.front().deliverAt, hub, EventKind::kDeliver, j);
    }
  }
  return best;
}

double CHubSimulator::NextEventTime() const {
  std::lock_guard guard(m_stateLock);
  const auto event = EarliestEvent();
  return event ? event->time : kNever;
}

void CHubSimulator::Accept(HubSim& hub, int portIndex, SensorBurst burst) {
  PortSim& port = hub.port[static_cast<std::size_t>(portIndex)];
  // An unconfigured port passes nothing on; a port at another rate passes garbage.
  if (!port.state.configured || burst.bytes.empty()) return;
  const unsigned sensorBaud = port.source ? port.source->Baud() : 0;
  const unsigned lineBaud = BaudRate(port.state.baudIndex);
  const double charTime = CharacterTime(sensorBaud != 0 ? sensorBaud : lineBaud);
  const double lineStart = std::max(burst.hostTime, port.lineFreeAt);
  double time = lineStart;
  for (std::size_t i = 0; i < burst.bytes.size(); ++i) {
    // A burst starts a message of its own.
    if (i == 0 || port.chunks.back().items.size() >= kMaxItemsPerMessage) port.chunks.push_back({});
    // Each byte is stamped when its last bit is in.
    time = lineStart + static_cast<double>(i + 1) * charTime;
    Chunk& chunk = port.chunks.back();
    const auto byte = ReceivedByte(static_cast<unsigned char>(burst.bytes[i]), sensorBaud, lineBaud);
    chunk.items.push_back(SERIAL_BYTE_PACKET::Make(static_cast<unsigned char>(portIndex), byte,
                                                   DeviceUs(hub, time) & kDeviceTimeMask));
    chunk.deliverAt = time;
  }
  port.lineFreeAt = time;
}

std::vector<unsigned char> CHubSimulator::StatusMessage(const HubSim& hub, double hostTime) const {
  HubStatusFields fields;
  fields.version = kVersion;
  fields.hubId = hub.id;
  const auto host = static_cast<unsigned char>(10 + hub.index);
  fields.fixedIp = {host, 1, 168, 192};  // shown from byte 15 down: 192.168.1.(10 + k)
  fields.altIp = (192u << 24) | (168u << 16) | (2u << 8) | host;
  fields.supplyCentivolts = kSupplyCentivolts;
  fields.temperature1 = kTemperature1;
  fields.sensor1 = kSensor1;
  fields.deviceTimeUs = DeviceUs(hub, hostTime);
  fields.altMask = 0xFFFFFF00u;
  fields.temperature2 = kTemperature2;
  fields.sensor2 = kSensor2;
  fields.linkStatus = kLinks;
  return BuildHubStatus(hub.id, fields);
}

void CHubSimulator::Process(const Event& event, std::vector<Output>& out) {
  HubSim& hub = *event.hub;
  switch (event.kind) {
    case EventKind::kStatus:
      out.push_back({kHubStatusKind, StatusMessage(hub, event.time), DeviceUs(hub, event.time)});
      ++hub.statusCount;
      break;
    case EventKind::kPps: {
      const SERIAL_BYTE_PACKET edge =
          SERIAL_BYTE_PACKET::Make(SERIAL_BYTE_PACKET::kPpsPort, 0, DeviceUs(hub, event.time) & kDeviceTimeMask);
      out.push_back({kHubDataKind, BuildHubData(hub.id, {edge}), 0});
      hub.nextPps = std::floor(event.time) + 1.0;
      break;
    }
    case EventKind::kAck:
      out.push_back({kHubSerialAckKind, BuildHubSerialAck(hub.id, {hub.acks.front(), 0}), 0});
      hub.acks.pop_front();
      break;
    case EventKind::kAccept: {
      PortSim& port = hub.port[static_cast<std::size_t>(event.port)];
      SensorBurst burst = std::move(*port.pending);
      port.pending.reset();
      Accept(hub, event.port, std::move(burst));
      // The sensor's next burst starts once the line is free; it sends on
      // whether or not the port passes its bytes on.
      if (port.source) port.pending = port.source->Next(std::max(port.lineFreeAt, event.time + 1e-6));
      break;
    }
    case EventKind::kDeliver: {
      PortSim& port = hub.port[static_cast<std::size_t>(event.port)];
      Chunk chunk = std::move(port.chunks.front());
      port.chunks.pop_front();
      out.push_back({kHubDataKind, BuildHubData(hub.id, chunk.items), 0});
      break;
    }
  }
}

void CHubSimulator::Step(double hostTime) {
  std::unique_lock delivery(m_deliveryLock);
  std::vector<Output> out;
  {
    std::lock_guard guard(m_stateLock);
    if (!std::isfinite(hostTime) || hostTime < m_lastStep) return;
    for (auto& hub : m_hubs) {
      for (PortSim& port : hub->port) {
        if (port.source && !port.pending) port.pending = port.source->Next(std::max(port.lineFreeAt, m_lastStep));
      }
    }
    while (auto event = EarliestEvent()) {
      if (event->time > hostTime) break;
      Process(*event, out);
    }
    m_lastStep = hostTime;
  }
  for (const Output& output : out) {
    if (m_handler != nullptr) m_handler(output.kind, static_cast<int>(output.bytes.size()), output.bytes.data());
    // Each status makes the library ask for the time, as it does before it
    // stamps what it sends.
    if (output.kind == kHubStatusKind && m_timeSync != nullptr) {
      std::uint32_t seconds = 0, microseconds = 0;
      m_timeSync(output.askTimeUs, &seconds, &microseconds);
    }
  }
  delivery.unlock();
  {
    std::lock_guard guard(m_steppedLock);
    m_steppedTo = std::max(m_steppedTo, hostTime);
  }
  m_stepped.notify_all();
}

void CHubSimulator::Start() { m_stepper.Start(); }
void CHubSimulator::Stop() { m_stepper.Stop(); }

bool CHubSimulator::WaitStepped(double hostTime, double timeoutSeconds) {
  std::unique_lock lock(m_steppedLock);
  return m_stepped.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                            [&] { return m_steppedTo >= hostTime; });
}

void CHubSimulator::Wake() { m_stepper.Wake(); }

std::optional<HubPortState> CHubSimulator::Port(std::uint16_t id, int port) const {
  std::lock_guard guard(m_stateLock);
  const HubSim* hub = FindHub(id);
  if (hub == nullptr || port < 0 || port >= static_cast<int>(kPorts)) return std::nullopt;
  return hub->port[static_cast<std::size_t>(port)].state;
}

std::optional<HubLinkState> CHubSimulator::Link(std::uint16_t id) const {
  std::lock_guard guard(m_stateLock);
  const HubSim* hub = FindHub(id);
  if (hub == nullptr) return std::nullopt;
  return hub->link;
}

std::vector<std::string> CHubSimulator::Sent(std::uint16_t id, int port) const {
  std::lock_guard guard(m_stateLock);
  const HubSim* hub = FindHub(id);
  if (hub == nullptr || port < 0 || port >= static_cast<int>(kPorts)) return {};
  return hub->port[static_cast<std::size_t>(port)].sent;
}

// Once this returns the previous callback is no longer called: a window may
// go right after removing its callbacks.
int CHubSimulator::SetHubHandler(ZepHubHandler handler) {
  std::lock_guard guard(m_deliveryLock);
  m_handler = handler;
  return 1;
}

int CHubSimulator::SetTimeSyncFunction(ZepTimeSyncFunction callback) {
  std::lock_guard guard(m_deliveryLock);
  m_timeSync = callback;
  return 1;
}

int CHubSimulator::ConfigHubPort(int hubId, int port, int baudIndex, int dataBits, int parity, int stopBits, int mode) {
  {
    std::lock_guard guard(m_stateLock);
    PortSim* sim = FindPort(hubId, port);
    if (sim == nullptr) return 0;
    HubPortState& state = sim->state;
    state = {true, baudIndex, dataBits, parity, stopBits, mode, state.configs + 1};
  }
  Wake();
  return 1;
}

int CHubSimulator::SendSerialCommand(int hubId, int port, std::uint16_t count, const char* bytes) {
  {
    std::lock_guard guard(m_stateLock);
    HubSim* hub = FindHub(hubId);
    PortSim* sim = FindPort(hubId, port);
    if (sim == nullptr || (bytes == nullptr && count > 0)) return 0;
    sim->sent.emplace_back(bytes, count);
    hub->acks.push_back(++hub->ackSequence);
  }
  Wake();
  return count;
}

int CHubSimulator::SendHubStayAlive(int hubId) {
  std::lock_guard guard(m_stateLock);
  HubSim* hub = FindHub(hubId);
  if (hub == nullptr) return 0;
  ++hub->link.stayAlives;
  return 1;
}

int CHubSimulator::RequestRetry(int hubId, int, int) {
  std::lock_guard guard(m_stateLock);
  HubSim* hub = FindHub(hubId);
  if (hub == nullptr) return 0;
  ++hub->link.retries;
  return 1;
}

int CHubSimulator::UseAltDeviceIPAddress(int hubId, int a0, int a1, int a2, int a3, int m0, int m1, int m2, int m3) {
  std::lock_guard guard(m_stateLock);
  HubSim* hub = FindHub(hubId);
  if (hub == nullptr) return 0;
  hub->link.altAddress = {a0, a1, a2, a3};
  hub->link.altMask = {m0, m1, m2, m3};
  return 1;
}

int CHubSimulator::TxToAltIPAddress(int hubId, int flag) {
  std::lock_guard guard(m_stateLock);
  HubSim* hub = FindHub(hubId);
  if (hub == nullptr) return 0;
  hub->link.txToAlt = flag != 0;
  return 1;
}

int CHubSimulator::SetSurveyNetworkEnable(int hubId, int output) {
  std::lock_guard guard(m_stateLock);
  HubSim* hub = FindHub(hubId);
  if (hub == nullptr) return 0;
  hub->link.surveyOutput = output;
  return 1;
}

// The hub forgets the station: its ports pass nothing on until configured again.
int CHubSimulator::DeleteDeviceID(int hubId) {
  std::lock_guard guard(m_stateLock);
  HubSim* hub = FindHub(hubId);
  if (hub == nullptr) return 0;
  ++hub->link.deletes;
  for (PortSim& port : hub->port) port.state.configured = false;
  return 1;
}

void CHubSimulator::SetInner(std::shared_ptr<CZephraBackend> inner) {
  std::lock_guard guard(m_innerLock);
  m_inner = std::move(inner);
}

std::shared_ptr<CZephraBackend> CHubSimulator::Inner() const {
  std::lock_guard guard(m_innerLock);
  return m_inner;
}

int CHubSimulator::InitComPort(int sonarId, int comPort, int baud, int reserved, int routeFlag, int serialIndex) {
  const auto inner = Inner();
  return inner ? inner->InitComPort(sonarId, comPort, baud, reserved, routeFlag, serialIndex) : 0;
}
int CHubSimulator::SetNetworkConfigToDefaults(int sonarId) {
  const auto inner = Inner();
  return inner ? inner->SetNetworkConfigToDefaults(sonarId) : 0;
}
int CHubSimulator::SetNetworkRS232BaudRate(int sonarId, int baud) {
  const auto inner = Inner();
  return inner ? inner->SetNetworkRS232BaudRate(sonarId, baud) : 0;
}
int CHubSimulator::SetNetworkRS232Routing(int sonarId, int protocol, int local) {
  const auto inner = Inner();
  return inner ? inner->SetNetworkRS232Routing(sonarId, protocol, local) : 0;
}
int CHubSimulator::SendZephraNetworkConfig(int sonarId) {
  const auto inner = Inner();
  return inner ? inner->SendZephraNetworkConfig(sonarId) : 0;
}
int CHubSimulator::SetSerialRS232BaudRate(int sonarId, int serialIndex, int baud) {
  const auto inner = Inner();
  return inner ? inner->SetSerialRS232BaudRate(sonarId, serialIndex, baud) : 0;
}
int CHubSimulator::SetSerialRS232TimeStamps(int sonarId, int serialIndex, int flag) {
  const auto inner = Inner();
  return inner ? inner->SetSerialRS232TimeStamps(sonarId, serialIndex, flag) : 0;
}
int CHubSimulator::SendZephraSerialConfig(int sonarId, int serialIndex) {
  const auto inner = Inner();
  return inner ? inner->SendZephraSerialConfig(sonarId, serialIndex) : 0;
}
int CHubSimulator::SendRS232Ex(int sonarId, int count, const char* bytes, int serialIndex) {
  const auto inner = Inner();
  return inner ? inner->SendRS232Ex(sonarId, count, bytes, serialIndex) : 0;
}
