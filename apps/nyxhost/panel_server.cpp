#include "nyxhost/panel_server.h"

#include <arpa/inet.h>

#include <charconv>
#include <future>

#include <httplib.h>

#include "host/nyx_wnd.h"

namespace {

// Each stream holds a worker of its own; the rest serve the page and its requests.
constexpr int kWorkers = 12;
constexpr int kMaxStreams = 6;
// An idle stream sends a comment now and then, so that a closed one is noticed.
constexpr auto kStreamIdle = std::chrono::seconds(2);

void SendJson(httplib::Response& res, int status, const PanelJson& body) {
  res.status = status;
  res.set_content(body.dump(-1, ' ', false, PanelJson::error_handler_t::replace), "application/json");
}

void Refuse(httplib::Response& res, int status, const std::string& error) {
  SendJson(res, status, PanelJson{{"ok", false}, {"error", error}});
}

// The host part of a Host header or an address: "[::1]:80" gives "::1".
std::string HostPart(const std::string& text) {
  if (!text.empty() && text.front() == '[') {
    const auto close = text.find(']');
    return close == std::string::npos ? text : text.substr(1, close - 1);
  }
  const auto colon = text.find(':');
  return colon == std::string::npos || text.find(':', colon + 1) != std::string::npos ? text : text.substr(0, colon);
}

// Compares without stopping at the first difference.
bool SameSecret(const std::string& given, const std::string& secret) {
  unsigned char diff = given.size() == secret.size() ? 0 : 1;
  for (std::size_t i = 0; i < given.size(); ++i) diff |= static_cast<unsigned char>(given[i] ^ secret[i % secret.size()]);
  return diff == 0;
}

}  // namespace

bool ParsePanelAddress(const std::string& text, PanelAddress& out, std::string& error) {
  std::string host = "127.0.0.1";
  std::string port = text;
  if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    unsigned char buffer[sizeof(in6_addr)];
    if (host != "localhost" && inet_pton(AF_INET, host.c_str(), buffer) != 1 &&
        inet_pton(AF_INET6, host.c_str(), buffer) != 1) {
      error = "--panel " + text + ": '" + host + "' is not an IP address (IPv6 in brackets)";
      return false;
    }
  }
  int value = -1;
  const char* end = port.data() + port.size();
  const auto result = std::from_chars(port.data(), end, value);
  if (port.empty() || result.ec != std::errc() || result.ptr != end || value < 0 || value > 65535) {
    error = "--panel " + text + ": the port must be a number from 0 to 65535";
    return false;
  }
  out.host = host;
  out.port = value;
  return true;
}

bool IsLoopbackHost(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  in_addr address{};
  return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

// Counts a stream while its response lives.
struct PanelServer::StreamSlot {
  explicit StreamSlot(PanelServer& server) : m_server(server) { ++m_server.m_streams; }
  ~StreamSlot() { --m_server.m_streams; }
  StreamSlot(const StreamSlot&) = delete;
  StreamSlot& operator=(const StreamSlot&) = delete;
  PanelServer& m_server;
  unsigned long seen = 0;
};

PanelServer::PanelServer(Config config, std::vector<ServedWindow> windows, Alarms alarms, Post post)
    : m_config(std::move(config)), m_windows(std::move(windows)), m_alarms(std::move(alarms)), m_post(std::move(post)) {}

PanelServer::~PanelServer() { Stop(); }

std::string PanelServer::Url() const {
  const std::string& host = m_config.address.host;
  const bool v6 = host.find(':') != std::string::npos;
  return "http://" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(m_port) + "/";
}

unsigned long PanelServer::Published() const {
  std::lock_guard guard(m_lock);
  return m_version;
}

std::string PanelServer::Snapshot() const {
  const std::vector<ActiveAlarm> alarms = m_alarms ? m_alarms() : std::vector<ActiveAlarm>{};
  std::lock_guard guard(CNyxWnd::HostLock());
  return StationPanelJson(m_config.station, m_windows, alarms).dump(-1, ' ', false, PanelJson::error_handler_t::replace);
}

bool PanelServer::Start(std::string& error) {
  if (m_server) return true;
  if (!IsLoopbackHost(m_config.address.host) && m_config.token.empty()) {
    error = "--panel on " + m_config.address.host + " (not loopback) needs --panel-token";
    return false;
  }
  m_server = std::make_unique<httplib::Server>();
  m_server->new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  m_server->set_keep_alive_timeout(2);
  m_server->set_payload_max_length(64 * 1024);
  Route();
  const PanelAddress& address = m_config.address;
  if (address.port == 0) {
    m_port = m_server->bind_to_any_port(address.host);
  } else if (m_server->bind_to_port(address.host, address.port)) {
    m_port = address.port;
  }
  if (m_port <= 0) {
    error = "--panel: cannot listen on " + address.host + ":" + std::to_string(address.port) + ": " +
            std::strerror(errno);
    m_server.reset();
    return false;
  }
  m_listener = std::thread([this] { m_server->listen_after_bind(); });
  m_publisher = std::thread(&PanelServer::PublishLoop, this);
  return true;
}

void PanelServer::Stop() {
  if (!m_server) return;
  {
    std::lock_guard guard(m_lock);
    m_stopping = true;
  }
  m_changed.notify_all();
  if (m_publisher.joinable()) m_publisher.join();
  // The streams say goodbye before the server closes under them.
  for (int i = 0; i < 100 && m_streams.load() > 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  m_server->stop();
  if (m_listener.joinable()) m_listener.join();
  m_server.reset();
}

// One snapshot a period at most, and only while someone watches; a stream
// gets it only when it differs from the last.
void PanelServer::PublishLoop() {
  std::unique_lock lock(m_lock);
  while (!m_stopping) {
    if (m_streams.load() > 0) {
      lock.unlock();
      std::string snapshot = Snapshot();
      lock.lock();
      if (snapshot != m_snapshot) {
        m_snapshot = std::move(snapshot);
        ++m_version;
        m_changed.notify_all();
      }
    }
    m_changed.wait_for(lock, m_config.streamPeriod, [this] { return m_stopping; });
  }
}

void PanelServer::Route() {
  httplib::Server& server = *m_server;
  server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_header("X-Frame-Options", "DENY");
    res.set_header("Referrer-Policy", "no-referrer");
    bool tokenGiven = false;
    if (!m_config.token.empty()) {
      const std::string bearer = req.get_header_value("Authorization");
      tokenGiven = (bearer.rfind("Bearer ", 0) == 0 && SameSecret(bearer.substr(7), m_config.token)) ||
                   (req.has_param("token") && SameSecret(req.get_param_value("token"), m_config.token));
      if (!tokenGiven) {
        res.set_header("WWW-Authenticate", "Bearer");
        Refuse(res, 401, "this panel needs its token");
        return httplib::Server::HandlerResponse::Handled;
      }
    } else if (!IsLoopbackHost(HostPart(req.get_header_value("Host")))) {
      // A name that only resolves to this machine for the moment (DNS rebinding) gets nothing.
      Refuse(res, 403, "the panel answers to a loopback address only");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.method != "GET" && req.method != "HEAD" && !tokenGiven &&
        req.get_header_value("Origin") != "http://" + req.get_header_value("Host")) {
      Refuse(res, 403, "changes are taken from the panel's own page only");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  server.Get(R"(/|/[a-z_]+\.(html|js|css))", [](const httplib::Request& req, httplib::Response& res) {
    const PanelAsset* asset = FindPanelAsset(req.path == "/" ? "/index.html" : req.path);
    if (!asset) return Refuse(res, 404, "no such file");
    res.set_header("Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'");
    res.set_content(reinterpret_cast<const char*>(asset->data), asset->size, asset->type);
  });

  server.Get("/api/panel", [this](const httplib::Request&, httplib::Response& res) {
    res.set_content(Snapshot(), "application/json");
  });

  server.Post(R"(/api/windows/([^/]+)/controls/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
    PanelJson body = PanelJson::parse(req.body, nullptr, false);
    if (body.is_discarded() || !body.is_object() || !body.contains("value") || !body["value"].is_string()) {
      return Refuse(res, 400, R"(the body must be {"value":TEXT})");
    }
    struct Entry {
      std::string window, control, value;
      // Stays so when the station stops before the task runs.
      PanelAnswer answer{503, {{"ok", false}, {"error", "the station stopped before it took the entry"}}};
      std::promise<void> done;
    };
    auto entry = std::make_shared<Entry>();
    entry->window = req.matches[1];
    entry->control = req.matches[2];
    entry->value = body["value"].get<std::string>();
    std::future<void> done = entry->done.get_future();
    // The task owns what it needs: it may run after this request gave up on it.
    m_post([this, entry] {
      entry->answer = ApplyPanelEntry(m_windows, entry->window, entry->control, entry->value);
      entry->done.set_value();
    });
    if (done.wait_for(m_config.entryWait) != std::future_status::ready) {
      return Refuse(res, 503, "the station did not take the entry in time");
    }
    SendJson(res, entry->answer.status, entry->answer.body);
  });

  server.Get("/api/stream", [this](const httplib::Request&, httplib::Response& res) {
    if (m_streams.load() >= kMaxStreams) return Refuse(res, 503, "too many event streams open");
    auto slot = std::make_shared<StreamSlot>(*this);
    res.set_chunked_content_provider("text/event-stream", [this, slot](std::size_t, httplib::DataSink& sink) {
      std::string text;
      {
        std::unique_lock lock(m_lock);
        m_changed.wait_for(lock, kStreamIdle, [&] { return m_stopping || m_version != slot->seen; });
        if (m_stopping) {
          lock.unlock();
          const std::string bye = "event: closing\ndata: {}\n\n";
          sink.write(bye.data(), bye.size());
          sink.done();
          return true;
        }
        if (m_version != slot->seen) {
          slot->seen = m_version;
          text = "event: panel\ndata: " + m_snapshot + "\n\n";
        } else {
          text = ": idle\n\n";
        }
      }
      return sink.write(text.data(), text.size());
    });
  });
}
