// The live status view as text, the closing summary, the JSON status line and
// the in-place redraw on a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "nyxhost/status_view.h"

namespace {

const std::string kGreen = "\x1b[32m", kYellow = "\x1b[33m", kRed = "\x1b[31m", kGrey = "\x1b[90m", kReset = "\x1b[0m";
const std::string kDot = "\xE2\x97\x8F", kCut = "\xE2\x80\xA6";

PortStatus Port(const std::string& name, const std::string& decoder, int light, std::optional<double> age,
                const std::string& last) {
  return {"Serial", name, "/dev/pts/" + name.substr(3), decoder, light, light == 2 ? "20.0" : "0.0", age, last};
}

StationStatus Sample() {
  StationStatus status;
  status.elapsed = 12.4;
  status.ports = {Port("COM1", "GPGGA + ZDA", 2, 0.25, "$GPGGA,123519,4807.038,N*47\r"),
                  Port("COM2", "PPS", 1, 0.5, ""), Port("COM3", "TSS Std 1", 0, 1.0, "garbage"),
                  Port("COM4", "", 3, std::nullopt, "")};
  status.links = {"UDP: enabled, receiving on port 52905"};
  status.hubs = {{1, 100, "192.168.1.10", 24.0, 34.96, 812, true}};
  status.alarms = {{3013, 3, "The data age of 2.0s has been exceeded."}, {3065, 2, "FAILED with error 125"}};
  status.records = {{0, "CSnsrInf", 40}, {1, "CSnsrPos", 2}};
  return status;
}

}  // namespace

TEST(StatusView, OneLinePerPortWithItsLightThenLinksHubsAndAlarms) {
  StationStatus status = Sample();
  status.panel = "http://127.0.0.1:8080/";
  const std::vector<std::string> expected = {
      "nyxhost  12 s  4 ports (1 green)  42 records  2 alarms",
      "Panel: http://127.0.0.1:8080/",
      kGreen + kDot + kReset + " COM1 /dev/pts/1 GPGGA + ZDA  20.0 Hz    0.2 s  $GPGGA,123519,4807.038,N*47",
      kYellow + kDot + kReset + " COM2 /dev/pts/2 PPS           0.0 Hz    0.5 s  ",
      kRed + kDot + kReset + " COM3 /dev/pts/3 TSS Std 1     0.0 Hz    1.0 s  garbage",
      kGrey + kDot + kReset + " COM4 /dev/pts/4 -             0.0 Hz      - s  ",
      "UDP: enabled, receiving on port 52905",
      "Hub 1. ID 100 at 192.168.1.10: 24.0 V, 35.0 C, 812 messages (selected)",
      "Alarms:",
      kRed + "  3013 [3] The data age of 2.0s has been exceeded." + kReset,
      kYellow + "  3065 [2] FAILED with error 125" + kReset,
  };
  EXPECT_EQ(RenderStatusView(status, ViewStyle{120, true}), expected);
  // Without colour the light is a letter.
  status.alarms.clear();
  const auto plain = RenderStatusView(status, ViewStyle{120, false});
  EXPECT_EQ(plain[2].substr(0, 6), "G COM1");
  EXPECT_EQ(plain[3].substr(0, 6), "Y COM2");
  EXPECT_EQ(plain[4].substr(0, 6), "R COM3");
  EXPECT_EQ(plain[5].substr(0, 6), "- COM4");
  EXPECT_EQ(plain.back(), "No alarms.");
}

TEST(StatusView, LinesAreCutToTheWidth) {
  StationStatus status;
  status.ports = {Port("COM1", "GPGGA", 2, 0.25, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47")};
  status.alarms = {{3010, 3, "The data age of 2.0s has been exceeded. Age = 3.5s"}};
  // The colour codes do not count and are closed after a cut line.
  const auto coloured = RenderStatusView(status, ViewStyle{30, true});
  EXPECT_EQ(coloured[1], kGreen + kDot + kReset + " COM1 /dev/pts/1 GPGGA  20.0" + kCut);
  EXPECT_EQ(coloured[3], kRed + "  3010 [3] The data age of 2." + kCut + kReset);
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
      {"a\tb\r\n\x7F", 10, "a.b..."},
      {"-TU \xC2\xB0" "C OK", 20, "-TU \xC2\xB0" "C OK"},  // ° is one column
      {"\xC2\x81" "x", 5, ".x"},                           // a C1 control
      {"\xB0" "C", 5, "?C"},                               // not UTF-8
      {"\xE2\x82" "A", 5, "??A"},                          // a sequence cut short
      {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC", 2, "\xE2\x82\xAC\xE2\x80\xA6"},  // €€€
  };
  for (const auto& c : cases) EXPECT_EQ(CutToColumns(c.text, c.columns), c.expected) << c.text;
}

TEST(StatusView, SummaryAndJsonLine) {
  StationStatus status = Sample();
  status.elapsed = 6.04;
  const std::vector<std::string> expected = {
      "42 records in 6.0 s to records.jsonl:",
      "  kind     0  CSnsrInf                     40",
      "  kind     1  CSnsrPos                      2",
  };
  EXPECT_EQ(RenderSummary(status, "records.jsonl"), expected);
  const auto json = nlohmann::json::parse(StatusJsonLine(status));
  EXPECT_EQ(json["ports"][1], nlohmann::json::parse(R"({"window":"Serial","name":"COM2","device":"/dev/pts/2",
      "decoder":"PPS","light":"yellow","hz":"0.0","age":0.5,"last":""})"));
  EXPECT_EQ(json["ports"][3]["light"], "grey");
  EXPECT_TRUE(json["ports"][3]["age"].is_null());
  EXPECT_EQ(json["hubs"][0], nlohmann::json::parse(R"({"position":1,"id":100,"address":"192.168.1.10","volts":24.0,
      "temperature":34.96,"messages":812,"selected":true})"));
  EXPECT_EQ(json["records"][1], nlohmann::json::parse(R"({"kind":1,"class":"CSnsrPos","count":2})"));
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
