#include "net/gpsd_server.h"

#include <array>
#include <atomic>
#include <charconv>
#include <chrono>
#include <optional>
#include <thread>

#include <asio.hpp>

#include "host/host_time.h"

using asio::ip::tcp;

bool GpsdOutbox::Push(std::string line) {
  std::lock_guard guard(m_lock);
  if (m_lines.size() >= m_capacity) {
    m_lines.pop_front();
    ++m_dropped;
  }
  m_lines.push_back(std::move(line));
  if (m_writing) return false;
  m_writing = true;
  return true;
}

std::string GpsdOutbox::Take(std::size_t maxBytes) {
  std::lock_guard guard(m_lock);
  std::string out;
  while (!m_lines.empty() && (out.empty() || out.size() + m_lines.front().size() <= maxBytes)) {
    out += m_lines.front();
    m_lines.pop_front();
  }
  if (out.empty()) m_writing = false;
  return out;
}

unsigned long GpsdOutbox::Dropped() const {
  std::lock_guard guard(m_lock);
  return m_dropped;
}

std::size_t GpsdOutbox::Size() const {
  std::lock_guard guard(m_lock);
  return m_lines.size();
}

bool ParseGpsdEndpoint(const std::string& text, std::string& address, int& port, std::string& error) {
  std::string host = "127.0.0.1";
  std::string portText = text;
  if (const auto colon = text.rfind(':'); colon != std::string::npos) {
    host = text.substr(0, colon);
    portText = text.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  }
  int value = 0;
  const char* end = portText.data() + portText.size();
  const auto parsed = std::from_chars(portText.data(), end, value);
  if (portText.empty() || parsed.ec != std::errc() || parsed.ptr != end || value < 1 || value > 65535) {
    error = "give [ADDR:]PORT with PORT from 1 to 65535, not '" + text + "'";
    return false;
  }
  asio::error_code code;
  asio::ip::make_address(host, code);
  if (host.empty() || code) {
    error = "'" + host + "' is not an IP address (such as 127.0.0.1 or [::1])";
    return false;
  }
  address = host;
  port = value;
  return true;
}

namespace {

constexpr std::size_t kWriteBatch = 64 * 1024;

struct Client {
  Client(tcp::socket s, const GpsdFeed& feed, std::size_t queueLimit)
      : socket(std::move(s)), session(feed), outbox(queueLimit) {}
  tcp::socket socket;
  GpsdSession session;  // the server thread's only
  GpsdOutbox outbox;
  std::mutex watchLock;
  GpsdWatch watch;  // the session's policy, for the publishing thread
  std::array<char, 1024> input{};
  std::string writing;  // the batch being written
  bool closed = false;
};

}  // namespace

class GpsdServer::Impl {
 public:
  Impl(GpsdFeed& feed, std::size_t queueLimit) : m_feed(feed), m_queueLimit(queueLimit) {}

  bool Start(const std::string& address, int port, std::string& error, int& bound) {
    asio::error_code code;
    const tcp::endpoint endpoint(asio::ip::make_address(address, code), static_cast<unsigned short>(port));
    if (!code) m_acceptor.open(endpoint.protocol(), code);
    if (!code) m_acceptor.set_option(tcp::acceptor::reuse_address(true), code);
    if (!code) m_acceptor.bind(endpoint, code);
    if (!code) m_acceptor.listen(asio::socket_base::max_listen_connections, code);
    if (code) {
      error = "gpsd service on " + address + ":" + std::to_string(port) + ": " + code.message();
      return false;
    }
    bound = m_acceptor.local_endpoint().port();
    Accept();
    m_thread = std::thread([this] { m_io.run(); });
    return true;
  }

  void Stop() {
    if (!m_thread.joinable()) return;
    m_work.reset();
    m_io.stop();
    m_thread.join();
    asio::error_code ignored;
    m_acceptor.close(ignored);
    std::lock_guard guard(m_clientsLock);
    for (const auto& client : m_clients) {
      client->socket.close(ignored);
      m_droppedGone += client->outbox.Dropped();
    }
    m_clients.clear();
  }

  void Publish(const std::vector<GpsdReport>& reports) {
    std::lock_guard guard(m_clientsLock);
    for (const auto& client : m_clients) {
      GpsdWatch watch;
      {
        std::lock_guard watchGuard(client->watchLock);
        watch = client->watch;
      }
      for (const GpsdReport& report : reports) {
        if (watch.Wants(report)) Queue(client, report.line);
      }
    }
  }

  std::size_t Clients() const {
    std::lock_guard guard(m_clientsLock);
    return m_clients.size();
  }

  unsigned long Dropped() const {
    std::lock_guard guard(m_clientsLock);
    unsigned long dropped = m_droppedGone;
    for (const auto& client : m_clients) dropped += client->outbox.Dropped();
    return dropped;
  }

 private:
  void Accept() {
    m_acceptor.async_accept([this](const asio::error_code& code, tcp::socket socket) {
      if (code == asio::error::operation_aborted) return;
      if (code) {
        // Out of descriptors, say: try again a little later rather than spin.
        m_retry.expires_after(std::chrono::milliseconds(100));
        m_retry.async_wait([this](const asio::error_code& wait) {
          if (!wait) Accept();
        });
        return;
      }
      asio::error_code ignored;
      socket.set_option(tcp::no_delay(true), ignored);
      auto client = std::make_shared<Client>(std::move(socket), m_feed, m_queueLimit);
      {
        std::lock_guard guard(m_clientsLock);
        m_clients.push_back(client);
      }
      Queue(client, client->session.Greeting());
      Read(client);
      Accept();
    });
  }

  void Read(const std::shared_ptr<Client>& client) {
    client->socket.async_read_some(asio::buffer(client->input), [this, client](const asio::error_code& code,
                                                                               std::size_t count) {
      if (code) {
        Close(client);
        return;
      }
      const auto replies = client->session.Receive(std::string_view(client->input.data(), count), TmSync::GetTm());
      {
        std::lock_guard guard(client->watchLock);
        client->watch = client->session.Watch();
      }
      for (const std::string& reply : replies) Queue(client, reply);
      Read(client);
    });
  }

  void Queue(const std::shared_ptr<Client>& client, std::string line) {
    if (client->outbox.Push(std::move(line))) asio::post(m_io, [this, client] { Write(client); });
  }

  void Write(const std::shared_ptr<Client>& client) {
    if (client->closed) return;
    client->writing = client->outbox.Take(kWriteBatch);
    if (client->writing.empty()) return;
    asio::async_write(client->socket, asio::buffer(client->writing),
                      [this, client](const asio::error_code& code, std::size_t) {
                        if (code) {
                          Close(client);
                          return;
                        }
                        Write(client);
                      });
  }

  void Close(const std::shared_ptr<Client>& client) {
    if (client->closed) return;
    client->closed = true;
    asio::error_code ignored;
    client->socket.shutdown(tcp::socket::shutdown_both, ignored);
    client->socket.close(ignored);
    std::lock_guard guard(m_clientsLock);
    std::erase(m_clients, client);
    m_droppedGone += client->outbox.Dropped();
  }

  GpsdFeed& m_feed;
  std::size_t m_queueLimit;
  asio::io_context m_io;
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> m_work{asio::make_work_guard(m_io)};
  tcp::acceptor m_acceptor{m_io};
  asio::steady_timer m_retry{m_io};
  std::thread m_thread;
  mutable std::mutex m_clientsLock;
  std::vector<std::shared_ptr<Client>> m_clients;
  unsigned long m_droppedGone = 0;  // by clients gone; under m_clientsLock
};

GpsdServer::GpsdServer(GpsdFeed& feed, std::size_t queueLimit) : m_impl(std::make_unique<Impl>(feed, queueLimit)) {}

GpsdServer::~GpsdServer() { Stop(); }

bool GpsdServer::Start(const std::string& address, int port, std::string& error) {
  return m_impl->Start(address, port, error, m_port);
}

void GpsdServer::Publish(const std::vector<GpsdReport>& reports) {
  if (!reports.empty()) m_impl->Publish(reports);
}

void GpsdServer::Stop() { m_impl->Stop(); }

std::size_t GpsdServer::Clients() const { return m_impl->Clients(); }

unsigned long GpsdServer::Dropped() const { return m_impl->Dropped(); }
