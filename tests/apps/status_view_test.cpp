// The live status view as text: a line per port with its light in colour,
// lines cut to the terminal's width, the alarms in force; the closing
// summary; the JSON status line; and the in-place redraw on a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "nyxhost/status_view.h"

namespace {

const std::string kGreen = "\x1b[32m", kYellow = "\x1b[33m", kRed = "\x1b[31m", kGrey = "\x1b[90m", kReset = "\x1b[0m";
const std::string kDot = "\xE2\x97\x8F";

PortStatus Port(const std::string& name, const std::string& decoder, int light, std::optional<double> age,
                const std::string& last) {
  PortStatus port;
  port.window = "Serial";
  port.name = name;
  port.device = "/dev/pts/" + name.substr(3);
  port.decoder = decoder;
  port.light = light;
  port.hz = light == 2 ? "20.0" : "0.0";
  port.age = age;
  port.last = last;
  return port;
}

StationStatus Sample() {
  StationStatus status;
  status.elapsed = 12.4;
  status.ports = {Port("COM1", "GPGGA + ZDA", 2, 0.25, "$GPGGA,123519,4807.038,N*47\r"),
                  Port("COM2", "PPS", 1, 0.5, ""), Port("COM3", "TSS Std 1", 0, 1.0, "garbage"),
                  Port("COM4", "", 3, std::nullopt, "")};
  status.links = {"UDP: enabled, receiving on port 52905"};
  status.alarms = {{3013, 3, "The data age of 2.0s has been exceeded."}, {3065, 1, "FAILED with error 125"}};
  status.records = {{0, "CSnsrInf", 40}, {1, "CSnsrPos", 2}};
  return status;
}

}  // namespace

TEST(StatusView, OneLinePerPortWithItsLightInColour) {
  const auto lines = RenderStatusView(Sample(), ViewStyle{120, true});
  ASSERT_EQ(lines.size(), 1u + 4 + 1 + 3);
  EXPECT_EQ(lines[0], "nyxhost  12 s  4 ports (1 green)  42 records  2 alarms");
  const struct {
    std::size_t line;
    std::string colour;
    std::string rest;
  } ports[] = {
      {1, kGreen, " COM1 /dev/pts/1 GPGGA + ZDA  20.0 Hz    0.2 s  $GPGGA,123519,4807.038,N*47"},
      {2, kYellow, " COM2 /dev/pts/2 PPS           0.0 Hz    0.5 s  "},
      {3, kRed, " COM3 /dev/pts/3 TSS Std 1     0.0 Hz    1.0 s  garbage"},
      {4, kGrey, " COM4 /dev/pts/4 -             0.0 Hz      - s  "},
  };
  for (const auto& p : ports) EXPECT_EQ(lines[p.line], p.colour + kDot + kReset + p.rest) << p.line;
  EXPECT_EQ(lines[5], "UDP: enabled, receiving on port 52905");
  EXPECT_EQ(lines[6], "Alarms:");
  EXPECT_EQ(lines[7], kRed + "  3013 [3] The data age of 2.0s has been exceeded." + kReset);
  EXPECT_EQ(lines[8], kYellow + "  3065 [1] FAILED with error 125" + kReset);
}

TEST(StatusView, WithoutColourTheLightIsALetter) {
  StationStatus status = Sample();
  status.alarms.clear();
  const auto lines = RenderStatusView(status, ViewStyle{120, false});
  ASSERT_EQ(lines.size(), 1u + 4 + 1 + 1);
  const char* letters[] = {"G", "Y", "R", "-"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(lines[1 + i].substr(0, 6), std::string(letters[i]) + " COM" + std::to_string(i + 1)) << i;
    EXPECT_EQ(lines[1 + i].find('\x1b'), std::string::npos) << i;
  }
  EXPECT_EQ(lines.back(), "No alarms.");
}

TEST(StatusView, LinesAreCutToTheWidth) {
  StationStatus status;
  status.ports = {Port("COM1", "GPGGA", 2, 0.25, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47")};
  status.alarms = {{3010, 3, "The data age of 2.0s has been exceeded. Age = 3.5s"}};
  for (const int width : {20, 40, 61}) {
    const auto lines = RenderStatusView(status, ViewStyle{width, false});
    for (const std::string& line : lines) {
      // Each character one column; the cut shows as an ellipsis at the edge.
      std::size_t columns = 0;
      for (unsigned char c : line) columns += (c & 0xC0) != 0x80;
      EXPECT_LE(columns, static_cast<std::size_t>(width)) << line;
    }
    EXPECT_EQ(lines[1].substr(lines[1].size() - 3), "\xE2\x80\xA6") << width;
  }
  // The colour codes do not count and are closed after a cut line.
  const auto coloured = RenderStatusView(status, ViewStyle{30, true});
  EXPECT_EQ(coloured[1], kGreen + kDot + kReset + " COM1 /dev/pts/1 GPGGA  20.0\xE2\x80\xA6");
  EXPECT_EQ(coloured[3], kRed + "  3010 [3] The data age of 2.\xE2\x80\xA6" + kReset);
  // A width that leaves no room shows nothing rather than a bare colour code.
  EXPECT_EQ(RenderStatusView(status, ViewStyle{0, true})[1], "");
}

TEST(StatusView, CutToColumnsCountsCharactersAndShowsControlsAsDots) {
  const struct {
    const char* text;
    int columns;
    const char* expected;
  } cases[] = {
      {"abc", 3, "abc"},
      {"abcd", 3, "ab\xE2\x80\xA6"},
      {"abc", 0, ""},
      {"a\tb\r\n", 10, "a.b.."},
      {"\x7F", 5, "."},
      {"-TU \xC2\xB0" "C OK", 20, "-TU \xC2\xB0" "C OK"},         // ° is one column
      {"\xC2\x81" "x", 5, ".x"},                                  // a C1 control
      {"\xB0" "C", 5, "?C"},                                      // not UTF-8
      {"\xE2\x82" "A", 5, "??A"},                                 // a sequence cut short
      {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 2, "\xE2\x82\xAC\xE2\x80\xA6"},  // €€€
  };
  for (const auto& c : cases) EXPECT_EQ(CutToColumns(c.text, c.columns), c.expected) << c.text;
}

TEST(StatusView, AlarmBoardTracksRaiseAndEndById) {
  AlarmBoard board;
  const auto report = [&](Nyx::ReportKind kind, int id, int level, const char* text) {
    Nyx::Report r;
    r.kind = kind;
    r.id = id;
    r.level = level;
    r.text = text;
    board.OnReport(r);
  };
  report(Nyx::ReportKind::Alarm, 3011, 3, "age 3.1");
  report(Nyx::ReportKind::Alarm, 3010, 3, "age 2.5");
  report(Nyx::ReportKind::Alarm, 3011, 3, "age 3.2");  // raised again: the newest text
  report(Nyx::ReportKind::Status, 3012, 2, "a status line is no alarm");
  report(Nyx::ReportKind::Alarm, 99, -1, "");  // ending one that is not raised
  auto active = board.Active();
  ASSERT_EQ(active.size(), 2u);
  EXPECT_EQ(active[0].id, 3010);
  EXPECT_EQ(active[1].id, 3011);
  EXPECT_EQ(active[1].text, "age 3.2");
  report(Nyx::ReportKind::Alarm, 3010, -1, "");
  active = board.Active();
  ASSERT_EQ(active.size(), 1u);
  EXPECT_EQ(active[0].id, 3011);
}

TEST(StatusView, SummaryCountsRecordsPerKind) {
  StationStatus status = Sample();
  status.elapsed = 6.04;
  const std::vector<std::string> expected = {
      "42 records in 6.0 s to records.jsonl:",
      "  kind     0  CSnsrInf                     40",
      "  kind     1  CSnsrPos                      2",
  };
  EXPECT_EQ(RenderSummary(status, "records.jsonl"), expected);
  status.records.clear();
  EXPECT_EQ(RenderSummary(status, "r.jsonl"), std::vector<std::string>{"0 records in 6.0 s to r.jsonl"});
}

TEST(StatusView, JsonLineNamesTheLights) {
  const auto json = nlohmann::json::parse(StatusJsonLine(Sample()));
  EXPECT_EQ(json["elapsed"], 12.4);
  ASSERT_EQ(json["ports"].size(), 4u);
  const char* lights[] = {"green", "yellow", "red", "grey"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(json["ports"][i]["light"], lights[i]) << i;
  EXPECT_EQ(json["ports"][0]["decoder"], "GPGGA + ZDA");
  EXPECT_EQ(json["ports"][0]["age"], 0.25);
  EXPECT_TRUE(json["ports"][3]["age"].is_null());
  EXPECT_EQ(json["alarms"][1], nlohmann::json::parse(R"({"id":3065,"level":1,"text":"FAILED with error 125"})"));
  EXPECT_EQ(json["records"][1], nlohmann::json::parse(R"({"kind":1,"class":"CSnsrPos","count":2})"));
}

TEST(StatusView, HubsHeardFollowTheLinks) {
  StationStatus status = Sample();
  status.hubs = {{1, 100, "192.168.1.10", 24.0, 34.96, 812, true}, {2, 101, "192.168.1.11", 23.5, 20.0, 3, false}};
  const auto lines = RenderStatusView(status, ViewStyle{120, false});
  ASSERT_EQ(lines.size(), 1u + 4 + 1 + 2 + 3);
  EXPECT_EQ(lines[6], "Hub 1. ID 100 at 192.168.1.10: 24.0 V, 35.0 C, 812 messages (selected)");
  EXPECT_EQ(lines[7], "Hub 2. ID 101 at 192.168.1.11: 23.5 V, 20.0 C, 3 messages");
  const auto json = nlohmann::json::parse(StatusJsonLine(status));
  EXPECT_EQ(json["hubs"][1], nlohmann::json::parse(R"({"position":2,"id":101,"address":"192.168.1.11","volts":23.5,
                                                       "temperature":20.0,"messages":3,"selected":false})"));
}

TEST(StatusView, TerminalRedrawsInPlace) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    TerminalView view(fds[1]);
    EXPECT_EQ(view.Width(), 80);  // a pipe has no width
    view.Draw({"a", "b", "c"});
    view.Draw({"d"});  // fewer lines: the rest are cleared, the cursor goes back
    view.Draw({"e", "f"});
  }
  ::close(fds[1]);
  std::string out;
  char buffer[512];
  for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
  ::close(fds[0]);
  const std::string clear = "\r\x1b[2K";
  EXPECT_EQ(out, clear + "a\n" + clear + "b\n" + clear + "c\n" +                        // first block
                     "\x1b[3A" + clear + "d\n" + clear + "\n" + clear + "\n" + "\x1b[2A" +  // up three, two cleared
                     "\x1b[1A" + clear + "e\n" + clear + "f\n");
}

TEST(StatusView, ThePanelsAddressFollowsTheHeaderWhenServed) {
  StationStatus status = Sample();
  const auto without = RenderStatusView(status, ViewStyle{120, false});
  status.panel = "http://127.0.0.1:8080/";
  const auto with = RenderStatusView(status, ViewStyle{120, false});
  ASSERT_EQ(with.size(), without.size() + 1);
  EXPECT_EQ(with[1], "Panel: http://127.0.0.1:8080/");
  EXPECT_EQ(with[2], without[1]);
}
