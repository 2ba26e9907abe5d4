// The gpsd service's TCP side on loopback: per-client queues, many clients,
// a client that never reads, garbage, shutdown with clients connected.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "net/gpsd_server.h"

namespace {

using namespace std::chrono_literals;

TEST(GpsdOutbox, DropsTheOldestWhenFullAndWakesTheWriterOnce) {
  GpsdOutbox outbox(3);
  EXPECT_TRUE(outbox.Push("a\n"));
  for (const char* line : {"b\n", "c\n", "d\n", "e\n"}) EXPECT_FALSE(outbox.Push(line));
  EXPECT_EQ(outbox.Dropped(), 2u);
  EXPECT_EQ(outbox.Take(4), "c\nd\n");  // a batch stops at the byte limit
  EXPECT_EQ(outbox.Take(100), "e\n");
  EXPECT_EQ(outbox.Take(100), "");  // the writer sleeps ...
  EXPECT_TRUE(outbox.Push("f\n"));  // ... and the next line wakes it
  EXPECT_EQ(outbox.Size(), 1u);
}

TEST(GpsdServer, EndpointText) {
  struct Case {
    const char* text;
    bool ok;
    const char* address;
    int port;
  };
  const Case cases[] = {
      {"2947", true, "127.0.0.1", 2947},      {"0.0.0.0:2947", true, "0.0.0.0", 2947},
      {"[::1]:40000", true, "::1", 40000},     {"localhost:2947", false, "", 0},
      {"0", false, "", 0},                     {"65536", false, "", 0},
      {"127.0.0.1:", false, "", 0},            {"12x", false, "", 0},
      {":2947", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string address, error;
    int port = 0;
    EXPECT_EQ(ParseGpsdEndpoint(c.text, address, port, error), c.ok) << c.text;
    if (!c.ok) {
      EXPECT_FALSE(error.empty()) << c.text;
      continue;
    }
    EXPECT_EQ(address, c.address);
    EXPECT_EQ(port, c.port);
  }
}

// A blocking loopback client reading whole lines with a time limit.
class GpsdTestClient {
 public:
  // A small receive buffer makes a client that does not read fill up soon.
  explicit GpsdTestClient(int port, bool smallBuffer = false) : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    if (smallBuffer) {
      const int size = 4096;
      ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~GpsdTestClient() { ::close(m_fd); }
  bool Connected() const { return m_connected; }
  void Send(const std::string& text) { ASSERT_EQ(::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size())); }
  // The next line without its line ending; empty at the end of the stream or after the time.
  std::string Line(std::chrono::milliseconds limit = 3000ms) {
    for (;;) {
      if (const auto end = m_pending.find("\r\n"); end != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 2);
        return line;
      }
      pollfd fd{m_fd, POLLIN, 0};
      if (::poll(&fd, 1, static_cast<int>(limit.count())) <= 0) return {};
      char buffer[65536];
      const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
      if (got <= 0) return {};
      m_pending.append(buffer, static_cast<std::size_t>(got));
    }
  }
  std::string Class(std::chrono::milliseconds limit = 3000ms) {
    const std::string line = Line(limit);
    return line.empty() ? "" : nlohmann::json::parse(line).value("class", "?");
  }

 private:
  int m_fd;
  bool m_connected = false;
  std::string m_pending;
};

GpsdReport GpsdServerReport(const std::string& device, int n) {
  return {GpsdReport::Kind::kJson, device,
          "{\"class\":\"ATT\",\"device\":\"" + device + "\",\"heading\":" + std::to_string(n) + "}\r\n"};
}

struct GpsdServerFixture : ::testing::Test {
  void Start(std::size_t queue = GpsdServer::kDefaultQueue) {
    feed.AddDevice({"/dev/a", "A", 4800}, 0.0);
    server = std::make_unique<GpsdServer>(feed, queue);
    std::string error;
    ASSERT_TRUE(server->Start("127.0.0.1", 0, error)) << error;
    ASSERT_GT(server->Port(), 0);
  }
  // A client that watched with this request and got VERSION, DEVICES and WATCH.
  std::unique_ptr<GpsdTestClient> Watching(const std::string& request, bool smallBuffer = false) {
    auto client = std::make_unique<GpsdTestClient>(server->Port(), smallBuffer);
    EXPECT_TRUE(client->Connected());
    EXPECT_EQ(client->Class(), "VERSION");
    client->Send(request);
    EXPECT_EQ(client->Class(), "DEVICES");
    EXPECT_EQ(client->Class(), "WATCH");
    return client;
  }
  bool WaitForClients(std::size_t n) {
    for (int i = 0; i < 300 && server->Clients() != n; ++i) std::this_thread::sleep_for(10ms);
    return server->Clients() == n;
  }
  GpsdFeed feed;
  std::unique_ptr<GpsdServer> server;
};

TEST_F(GpsdServerFixture, EachClientGetsWhatItsWatchAsksFor) {
  Start();
  auto all = Watching("?WATCH={\"enable\":true,\"json\":true};\n");
  auto other = Watching("?WATCH={\"enable\":true,\"device\":\"/dev/b\"};\n");
  auto idle = std::make_unique<GpsdTestClient>(server->Port());
  EXPECT_EQ(idle->Class(), "VERSION");
  ASSERT_TRUE(WaitForClients(3));

  server->Publish({GpsdServerReport("/dev/a", 1), GpsdServerReport("/dev/b", 2)});
  EXPECT_EQ(all->Line(), R"({"class":"ATT","device":"/dev/a","heading":1})");
  EXPECT_EQ(all->Line(), R"({"class":"ATT","device":"/dev/b","heading":2})");
  EXPECT_EQ(other->Line(), R"({"class":"ATT","device":"/dev/b","heading":2})");
  EXPECT_EQ(idle->Line(300ms), "");  // not watching

  // Garbage is answered, and the connection goes on.
  all->Send(std::string("\x01\xff") + " junk\n?VERSION;");
  EXPECT_EQ(all->Class(), "ERROR");
  EXPECT_EQ(all->Class(), "VERSION");

  other.reset();
  EXPECT_TRUE(WaitForClients(2));
  server->Stop();
  EXPECT_EQ(all->Line(), "");  // closed
  EXPECT_EQ(server->Clients(), 0u);
}

TEST_F(GpsdServerFixture, AClientThatDoesNotReadLosesItsOldestReportsOnly) {
  constexpr std::size_t kQueue = 50;
  Start(kQueue);
  auto stalled = Watching("?WATCH={\"enable\":true};", true);
  auto reader = Watching("?WATCH={\"enable\":true};");

  // Far more than the socket buffers and the queue hold; the reader keeps up.
  const std::string padding(4000, ' ');
  constexpr int kReports = 3000;
  int read = 0;
  std::string last;
  for (int n = 0; n < kReports; ++n) {
    GpsdReport report = GpsdServerReport("/dev/a", n);
    report.line.insert(report.line.size() - 3, padding);
    server->Publish({report});
    if (n % 20 == 19) {
      for (int i = 0; i < 20; ++i, ++read) last = reader->Line();
    }
  }
  EXPECT_EQ(read, kReports);
  EXPECT_NE(last.find("\"heading\":" + std::to_string(kReports - 1)), std::string::npos);
  EXPECT_GT(server->Dropped(), 0u);

  // The stalled client, reading now, gets a run ending in the newest report.
  std::string line, previous;
  while (!(line = stalled->Line(500ms)).empty()) previous = line;
  EXPECT_NE(previous.find("\"heading\":" + std::to_string(kReports - 1)), std::string::npos);
}

TEST_F(GpsdServerFixture, PortInUseIsAnError) {
  Start();
  GpsdServer second(feed);
  std::string error;
  EXPECT_FALSE(second.Start("127.0.0.1", server->Port(), error));
  EXPECT_NE(error.find("127.0.0.1:" + std::to_string(server->Port())), std::string::npos) << error;
}

}  // namespace
