// The operator panel over HTTP on loopback: the page, the panel as JSON, the
// operator's entries with their answers, who may ask (Host, Origin, token),
// and the event stream's rate.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <httplib.h>

#include "host/nyx_wnd.h"
#include "nyxhost/panel_server.h"
#include "support/pty_pair.h"

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
    auto* slider = static_cast<CESlider*>(InsCtrl(kCtrlSlider, 50, &age1, ""));
    slider->DynRange(&age2);
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

struct PanelHttpCase {
  const char* name;
  std::string path;
  std::string body;
  int status;
  std::string value;  // the answer's value; empty = not checked
};

class PanelServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.SetName("PanelTestWnd");
    window.SetupCtrls();
  }

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

  httplib::Result Post(int port, const std::string& path, const std::string& body, httplib::Headers headers = {}) {
    httplib::Client client("127.0.0.1", port);
    headers.emplace("Origin", "http://127.0.0.1:" + std::to_string(port));
    return client.Post(path.c_str(), headers, body, "application/json");
  }

  PanelTestWnd window;
};

PanelJson PanelParseBody(const httplib::Result& result) { return PanelJson::parse(result->body, nullptr, false); }

}  // namespace

TEST_F(PanelServerTest, PanelListsEveryControlWithItsPlace) {
  auto server = Serve();
  httplib::Client client("127.0.0.1", server->Port());
  auto result = client.Get("/api/panel");
  ASSERT_TRUE(result);
  ASSERT_EQ(result->status, 200);
  const PanelJson panel = PanelParseBody(result);
  EXPECT_EQ(panel["station"], "test station");
  EXPECT_EQ(panel["alarms"], PanelJson::parse(R"([{"id":3010,"level":3,"text":"old data"}])"));
  const PanelJson& w = panel["windows"][0];
  EXPECT_EQ(w["name"], "W");
  ASSERT_EQ(w["controls"].size(), window.GetCtrls().size());
  const PanelJson& mode = w["controls"][1];
  EXPECT_EQ(mode, PanelJson::parse(R"({"id":2,"label":"Mode","kind":512,"width":90,"row":0,"col":1,"flex":false,
      "enabled":true,"shown":true,"tooltip":"Mode tip","value":"ASCII","name":"Mode","entries":["ASCII","Binary"]})"));
  EXPECT_EQ(w["controls"][2]["value"], nullptr);  // a caption gives no value
  EXPECT_EQ(w["controls"][4]["name"], "Age#2");
  EXPECT_EQ(w["controls"][5]["range"], PanelJson::parse("[0.0,4.0]"));
  EXPECT_EQ(w["controls"][6]["value"], "2");
  EXPECT_EQ(w["controls"][9]["shown"], false);

  result = client.Get("/");
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_NE(result->body.find("<title>nyxhost"), std::string::npos);
  EXPECT_EQ(client.Get("/panel.js")->status, 200);
  EXPECT_EQ(client.Get("/missing.js")->status, 404);
}

TEST_F(PanelServerTest, EntriesAnswerAsTheControlsTakeThem) {
  const PanelHttpCase cases[] = {
      {"combo by id", "/api/windows/W/controls/2", R"({"value":"Binary"})", 200, "Binary"},
      {"check box by name", "/api/windows/W/controls/Enable", R"({"value":"1"})", 200, "1"},
      {"second of a label", "/api/windows/W/controls/Age%232", R"({"value":"7.5"})", 200, "7.5"},
      {"not a number", "/api/windows/W/controls/Age", R"({"value":"abc"})", 400, ""},
      {"no value", "/api/windows/W/controls/Mode", R"({"other":"1"})", 400, ""},
      {"not JSON", "/api/windows/W/controls/Mode", "value=1", 400, ""},
      {"button with a value", "/api/windows/W/controls/Go", R"({"value":"x"})", 400, ""},
      {"button", "/api/windows/W/controls/Go", R"({"value":""})", 200, ""},
      {"disabled", "/api/windows/W/controls/Off", R"({"value":"1"})", 403, ""},
      {"lamp", "/api/windows/W/controls/7", R"({"value":"1"})", 403, ""},
      {"unknown window", "/api/windows/X/controls/Mode", R"({"value":"ASCII"})", 404, ""},
      {"unknown label", "/api/windows/W/controls/Age%233", R"({"value":"1"})", 404, ""},
  };
  auto server = Serve();
  for (const PanelHttpCase& c : cases) {
    const auto result = Post(server->Port(), c.path, c.body);
    ASSERT_TRUE(result) << c.name;
    EXPECT_EQ(result->status, c.status) << c.name << ": " << result->body;
    const PanelJson body = PanelParseBody(result);
    EXPECT_EQ(body["ok"], c.status == 200) << c.name;
    if (!c.value.empty()) {
      EXPECT_EQ(body["value"], c.value) << c.name;
    }
  }
  // Bound field first, then the callback; refused entries changed nothing.
  EXPECT_EQ(window.modeValue, 0);
  EXPECT_EQ(window.enabled, 1);
  EXPECT_EQ(window.callbacks, 1);
  EXPECT_EQ(window.age1, 1.5);
  EXPECT_EQ(window.age2, 7.5);
  EXPECT_EQ(window.pressed, 1);
}

TEST_F(PanelServerTest, OnlyThePagesOwnOriginOnLoopbackMayChangeAnything) {
  auto server = Serve();
  const int port = server->Port();
  httplib::Client client("127.0.0.1", port);
  const std::string path = "/api/windows/W/controls/Mode";
  const std::string body = R"({"value":"Binary"})";
  EXPECT_EQ(client.Post(path.c_str(), body, "application/json")->status, 403);  // no origin
  EXPECT_EQ(client.Post(path.c_str(), {{"Origin", "http://evil.example"}}, body, "application/json")->status, 403);
  EXPECT_EQ(window.modeValue, 1);
  // A name that resolves here only for now (DNS rebinding) is not this panel's.
  EXPECT_EQ(client.Get("/api/panel", {{"Host", "evil.example:" + std::to_string(port)}})->status, 403);
  EXPECT_EQ(client.Get("/api/panel", {{"Host", "localhost:" + std::to_string(port)}})->status, 200);
}

TEST_F(PanelServerTest, ATokenGuardsEveryRequest) {
  auto server = Serve("s3cret");
  httplib::Client client("127.0.0.1", server->Port());
  EXPECT_EQ(client.Get("/")->status, 401);
  EXPECT_EQ(client.Get("/api/panel", {{"Authorization", "Bearer wrong"}})->status, 401);
  EXPECT_EQ(client.Get("/api/panel?token=s3cre")->status, 401);
  EXPECT_EQ(client.Get("/api/panel", {{"Authorization", "Bearer s3cret"}})->status, 200);
  EXPECT_EQ(client.Get("/?token=s3cret")->status, 200);
  // The token stands for the origin.
  const auto result = client.Post("/api/windows/W/controls/Mode", {{"Authorization", "Bearer s3cret"}},
                                  R"({"value":"Binary"})", "application/json");
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(window.modeValue, 0);
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
        window.age1 = i;
      }
      std::this_thread::sleep_for(5ms);
    }
  });
  std::string received;
  const auto start = std::chrono::steady_clock::now();
  httplib::Client client("127.0.0.1", server->Port());
  client.Get("/api/stream", [&](const char* data, std::size_t size) {
    received.append(data, size);
    return std::chrono::steady_clock::now() - start < 1s;
  });
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  changing = false;
  changer.join();
  std::size_t events = 0;
  for (std::size_t at = 0; (at = received.find("event: panel\ndata: {", at)) != std::string::npos; ++at) ++events;
  EXPECT_GE(events, 2u);
  EXPECT_LE(static_cast<double>(events), 1.0 + 4.0 * seconds + 1.0) << seconds << " s";

  // A stream open when the server stops hears that the station is going.
  std::string last;
  std::atomic<bool> heard{false};
  std::thread listener([&] {
    httplib::Client other("127.0.0.1", server->Port());
    other.Get("/api/stream", [&](const char* data, std::size_t size) {
      last.append(data, size);
      heard = true;
      return true;
    });
  });
  ASSERT_TRUE(WaitUntil([&] { return heard.load(); }));
  server->Stop();
  listener.join();
  EXPECT_NE(last.find("event: closing"), std::string::npos);
}
