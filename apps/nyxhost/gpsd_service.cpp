#include "nyxhost/gpsd_service.h"

#include <cstdio>
#include <mutex>

#include "comms/serial_comms.h"
#include "host/host_time.h"
#include "host/records.h"
#include "nyxhost/host_runner.h"
#include "port/codec_registry.h"
#include "port/com_port_map.h"

namespace {

std::string ZepPortName(std::size_t p) {
  char name[32];
  std::snprintf(name, sizeof name, "ZepPort%02d:Serial%02d", static_cast<int>(p / 2 + 1), static_cast<int>(p % 2));
  return name;
}

std::string LinePath(const CSPort& line) {
  return line.m_deviceName.empty() ? ComPortMap::Path(line.m_commPort) : line.m_deviceName;
}

}  // namespace

GpsdService::GpsdService(CSComm* window) : m_window(window), m_server(m_feed) {
  SetName("gpsd");
  Join(s_snsrRx, this);
}

GpsdService::~GpsdService() {
  // Clients go first, so that nothing reads the feed while the window leaves.
  m_server.Stop();
  std::lock_guard guard(HostLock());
  LeaveReceiverLists();
}

std::unique_ptr<GpsdService> GpsdService::Start(const std::string& where, CSComm* window, std::string& error) {
  std::string address;
  int port = 0;
  if (!ParseGpsdEndpoint(where, address, port, error)) {
    error = "--gpsd: " + error;
    return nullptr;
  }
  std::unique_ptr<GpsdService> service;
  {
    std::lock_guard guard(HostLock());
    service.reset(new GpsdService(window));
    const double now = TmSync::GetTm();
    for (std::size_t i = 0; window && i < window->GetLineCount(); ++i) {
      const CSPort& line = *window->GetLine(i);
      if (line.m_commPort <= 0 || !line.m_port.m_pDecode) continue;
      const CDecodeType* type = CEComm::FindDecode(std::to_string(line.m_port.m_decode));
      service->m_feed.AddDevice({LinePath(line), type ? type->m_name : line.m_port.m_pDecode->m_name,
                                 static_cast<unsigned>(line.m_dcb.BaudRate)},
                                now);
    }
    // A pulse names the GPS second the serial window's GPS model maps its time to.
    if (window) {
      service->m_feed.SetGpsClock([window](double hostTime) -> std::optional<double> {
        CBufEntry line;
        if (!window->m_commTime.m_gpsBuf.Find(hostTime, line)) return std::nullopt;
        return line.m * hostTime + line.c;
      });
    }
  }
  if (!service->m_server.Start(address, port, error)) return nullptr;
  return service;
}

std::string GpsdService::DeviceOf(const CSnsrInf& raw) const {
  // Ports stamp their raw message with their index before decoding it.
  for (std::size_t i = 0; m_window && i < m_window->GetLineCount(); ++i) {
    const CSPort& line = *m_window->GetLine(i);
    if (line.m_port.m_index == raw.m_bank && line.m_port.m_lastMsg == raw.m_text) {
      return line.m_commPort > 0 ? LinePath(line) : "Line " + std::to_string(i + 1);
    }
  }
  for (unsigned p = 0; m_window && p < CSonarPorts::kSonarPorts; ++p) {
    const CPort& port = m_window->GetSonarPort(p);
    if (port.m_decode != 0 && (port.m_index & 0xFF) == raw.m_bank && port.m_lastMsg == raw.m_text) {
      return ZepPortName(p);
    }
  }
  return "Port " + std::to_string(raw.m_bank);
}

void GpsdService::OnSnsrMsg(int kind, void* record) {
  if (!record) return;
  const auto& snsr = *static_cast<const CSnsr*>(record);
  // Decoding runs on the trigger thread: a port's records follow its raw message.
  if (kind == kSnsrInf && snsr.m_type == 0) m_device = DeviceOf(static_cast<const CSnsrInf&>(snsr));
  if (m_device.empty()) return;
  std::vector<GpsdReport> reports;
  m_feed.OnRecord(m_device, kind, snsr, reports);
  m_server.Publish(reports);
}

namespace {

class GpsdHostService : public HostService {
 public:
  explicit GpsdHostService(std::string where) : m_where(std::move(where)) {}

  int Start(HostRunner& host, std::string& error) override {
    m_service = GpsdService::Start(m_where, host.Window(), error);
    return m_service ? kHostOk : kHostOptionError;
  }
  void Stop() override { m_service.reset(); }

 private:
  std::string m_where;
  std::unique_ptr<GpsdService> m_service;
};

}  // namespace

std::unique_ptr<HostService> MakeGpsdHostService(std::string where) {
  return std::make_unique<GpsdHostService>(std::move(where));
}
