// The gpsd service on loopback: per-client watches and queues, a client that never reads, shutdown.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "net/gpsd_server.h"
#include "net/loopback.h"

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

// A loopback client reading lines with a time limit; a small receive buffer fills up soon.
struct Client {
  explicit Client(int port, int buffer = 0) {
    if (buffer) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~Client() { ::close(fd); }
  void Send(const std::string& text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }
  // The next line without its line ending; empty at the end of the stream or after the time.
  std::string Line(std::chrono::milliseconds limit = 3000ms) {
    char buffer[65536];
    pollfd wait{fd, POLLIN, 0};
    while (pending.find("\r\n") == std::string::npos) {
      if (::poll(&wait, 1, static_cast<int>(limit.count())) <= 0) return {};
      const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return {};
      pending.append(buffer, static_cast<std::size_t>(got));
    }
    const std::string line = pending.substr(0, pending.find("\r\n"));
    pending.erase(0, line.size() + 2);
    return line;
  }
  std::string Class() { return nlohmann::json::parse(Line()).value("class", "?"); }
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  std::string pending;
};

GpsdReport Att(const std::string& device, int n) {
  return {GpsdReport::Kind::kJson, device,
          "{\"class\":\"ATT\",\"device\":\"" + device + "\",\"heading\":" + std::to_string(n) + "}\r\n"};
}

struct Service {
  explicit Service(std::size_t queue = GpsdServer::kDefaultQueue) : server(feed, queue) {
    feed.AddDevice({"/dev/a", "A", 4800}, 0.0);
    std::string error;
    EXPECT_TRUE(server.Start("127.0.0.1", 0, error)) << error;
  }
  // A client that watched with this request and got VERSION, DEVICES and WATCH.
  std::unique_ptr<Client> Watching(const std::string& request, int buffer = 0) {
    auto client = std::make_unique<Client>(server.Port(), buffer);
    EXPECT_EQ(client->Class(), "VERSION");
    client->Send(request);
    EXPECT_EQ(client->Class(), "DEVICES");
    EXPECT_EQ(client->Class(), "WATCH");
    return client;
  }
  GpsdFeed feed;
  GpsdServer server;
};

TEST(GpsdServer, EachClientGetsWhatItsWatchAsksFor) {
  Service service;
  GpsdServer& server = service.server;
  GpsdServer second(service.feed);
  std::string error;
  EXPECT_FALSE(second.Start("127.0.0.1", server.Port(), error));
  EXPECT_NE(error.find("127.0.0.1:" + std::to_string(server.Port())), std::string::npos) << error;

  auto all = service.Watching("?WATCH={\"enable\":true,\"json\":true};\n");
  auto other = service.Watching("?WATCH={\"enable\":true,\"device\":\"/dev/b\"};\n");
  Client idle(server.Port());
  EXPECT_EQ(idle.Class(), "VERSION");
  ASSERT_TRUE(WaitUntil([&] { return server.Clients() == 3; }));

  server.Publish({Att("/dev/a", 1), Att("/dev/b", 2)});
  EXPECT_EQ(all->Line(), R"({"class":"ATT","device":"/dev/a","heading":1})");
  EXPECT_EQ(all->Line(), R"({"class":"ATT","device":"/dev/b","heading":2})");
  EXPECT_EQ(other->Line(), R"({"class":"ATT","device":"/dev/b","heading":2})");
  EXPECT_EQ(idle.Line(300ms), "");  // not watching

  other.reset();
  EXPECT_TRUE(WaitUntil([&] { return server.Clients() == 2; }));
  server.Stop();
  EXPECT_EQ(all->Line(), "");  // closed
  EXPECT_EQ(server.Clients(), 0u);
}

TEST(GpsdServer, AClientThatDoesNotReadLosesItsOldestReportsOnly) {
  Service service(50);
  auto stalled = service.Watching("?WATCH={\"enable\":true};", 4096);
  auto reader = service.Watching("?WATCH={\"enable\":true};");

  // Far more than the socket buffers and the queue hold; the reader keeps up.
  const std::string padding(4000, ' ');
  constexpr int kReports = 3000;
  std::string last;
  for (int n = 0; n < kReports; ++n) {
    GpsdReport report = Att("/dev/a", n);
    report.line.insert(report.line.size() - 3, padding);
    service.server.Publish({report});
    for (int i = 0; i < 20 && n % 20 == 19; ++i) last = reader->Line();
  }
  EXPECT_NE(last.find("\"heading\":" + std::to_string(kReports - 1)), std::string::npos);
  EXPECT_GT(service.server.Dropped(), 0u);

  // The stalled client, reading now, gets a run ending in the newest report.
  std::string line, previous;
  while (!(line = stalled->Line(500ms)).empty()) previous = line;
  EXPECT_NE(previous.find("\"heading\":" + std::to_string(kReports - 1)), std::string::npos);
}

}  // namespace
