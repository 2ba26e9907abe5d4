// The operator panel over HTTP on loopback: the page, the panel as JSON, the
// operator's entries with their answers, who may ask (Host, Origin, token),
// and the event stream's rate.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <httplib.h>

#include "host/nyx_wnd.h"
#include "nyxhost/panel_server.h"

namespace {

using namespace std::chrono_literals;

class PanelTestWnd : public CNyxWnd {
 public:
  void SetupCtrls() override {
    ClearCtrls();
    InsCtrl(kCtrlCheck, 100, &enabled, "Enable")->SetCallback([this] { ++callbacks; });
    auto* mode = static_cast<CECombo*>(InsCtrl(kCtrlCombo, 90, &modeValue, "Mode", "Mode tip"));
    mode->AddValue("ASCII", 1);
    mode->AddValue("Binary", 0);
    NewLn();
    InsText(30, "Age");
    InsCtrl(kCtrlValue, 30, &age1, "Age");
    InsCtrl(kCtrlValue, 30, &age2, "Age");
    static_cast<CESlider*>(InsCtrl(kCtrlSlider, 50, &age1, ""))->DynRange(&age2);
    InsCtrl(kCtrlLamp, 16, &lamp, "");
    InsBtn(16, "Go", [this] { ++pressed; });
    InsCtrl(kCtrlValue, 30, &age1, "Off")->SetFlag(kCtrlEnabled, false);
    InsCtrl(kCtrlValue, 30, &age1, "Gone")->SetFlag(kCtrlShown, false);
  }
  unsigned char enabled = 0;
  int modeValue = 1;
  double age1 = 1.5;
  double age2 = 4.0;
  int lamp = 2;
  int callbacks = 0;
  int pressed = 0;
};

class PanelServerTest : public ::testing::Test {
 protected:
  void SetUp() override { window.SetupCtrls(); }

  std::unique_ptr<PanelServer> Serve(const std::string& token = "") {
    PanelServer::Config config;
    config.token = token;
    config.station = "test station";
    config.streamPeriod = 250ms;
    auto server = std::make_unique<PanelServer>(
        config, std::vector<ServedWindow>{{"W", &window}},
        [] { return std::vector<ActiveAlarm>{{3010, 3, "old data"}}; },
        [](std::function<void()> task) {
          std::lock_guard guard(CNyxWnd::HostLock());
          task();
        });
    std::string error;
    EXPECT_TRUE(server->Start(error)) << error;
    return server;
  }

  PanelTestWnd window;
};

}  // namespace

// Each row of tests/data/apps/panel_requests.txt: a request and the answer it gets.
TEST_F(PanelServerTest, RequestsGetTheirAnswers) {
  auto open = Serve();
  auto guarded = Serve("s3cret");
  std::ifstream table(std::filesystem::path(NYX_SOURCE_DIR) / "tests/data/apps/panel_requests.txt");
  ASSERT_TRUE(table);
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    const int port = (line.starts_with("token") ? guarded : open)->Port();
    if (const auto at = line.find("{port}"); at != std::string::npos) {
      line.replace(at, 6, std::to_string(port));
    }
    std::istringstream fields(line);
    std::string server, method, path, header, body, status;
    for (std::string* field : {&server, &method, &path, &header, &body, &status}) {
      std::getline(fields, *field, '\t');
    }
    httplib::Headers headers;
    if (header != "-") {
      headers.emplace(header.substr(0, header.find('=')), header.substr(header.find('=') + 1));
    }
    httplib::Client client("127.0.0.1", port);
    const auto result = method == "GET" ? client.Get(path, headers)
                                        : client.Post(path, headers, body == "-" ? "" : body, "application/json");
    ASSERT_TRUE(result) << line;
    EXPECT_EQ(result->status, std::stoi(status)) << line << "\n" << result->body;
    for (std::string holds; std::getline(fields, holds, '\t');) {
      EXPECT_NE(result->body.find(holds), std::string::npos) << holds << "\n" << result->body;
    }
  }
  EXPECT_EQ(window.callbacks, 1);
  EXPECT_EQ(window.pressed, 1);
}

// The refused addresses are rows of tests/data/apps/refused_options.txt.
TEST(PanelAddressTest, AddressesAndTheLoopbackRule) {
  struct {
    std::string text;
    std::string host;
    int port;
    bool loopback;
  } const cases[] = {
      {"8080", "127.0.0.1", 8080, true},         {"0.0.0.0:80", "0.0.0.0", 80, false},
      {"[::1]:9000", "::1", 9000, true},         {"localhost:1", "localhost", 1, true},
      {"127.0.0.2:0", "127.0.0.2", 0, true},     {"192.168.1.5:8080", "192.168.1.5", 8080, false},
  };
  for (const auto& c : cases) {
    PanelAddress address;
    std::string error;
    ASSERT_TRUE(ParsePanelAddress(c.text, address, error)) << c.text;
    EXPECT_EQ(std::tie(address.host, address.port), std::tie(c.host, c.port)) << c.text;
    EXPECT_EQ(IsLoopbackHost(address.host), c.loopback) << c.text;
  }
}

TEST_F(PanelServerTest, StreamSendsChangesAtMostFourTimesASecondAndSaysGoodbye) {
  auto server = Serve();
  std::atomic<bool> changing{true};
  // The panel changes far more often than the stream may say so.
  std::thread changer([&] {
    for (int i = 0; changing; ++i) {
      {
        std::lock_guard guard(CNyxWnd::HostLock());
        window.lamp = i % 4;
      }
      std::this_thread::sleep_for(5ms);
    }
  });
  // A stream open when the server stops hears that the station is going.
  std::string received;
  const auto start = std::chrono::steady_clock::now();
  std::thread listener([&] {
    httplib::Client client("127.0.0.1", server->Port());
    client.Get("/api/stream", [&](const char* data, std::size_t size) {
      received.append(data, size);
      return true;
    });
  });
  std::this_thread::sleep_for(1s);
  server->Stop();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  listener.join();
  changing = false;
  changer.join();
  std::size_t events = 0;
  for (std::size_t at = 0; (at = received.find("event: panel\ndata: {", at)) != std::string::npos; ++at) ++events;
  EXPECT_GE(events, 2u);
  EXPECT_LE(static_cast<double>(events), 1.0 + 4.0 * seconds + 1.0) << seconds << " s";
  EXPECT_NE(received.find("event: closing"), std::string::npos);
}
