// The live status view as text, the closing summary, the JSON status line and
// the in-place redraw on a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "nyxhost/status_view.h"
#include "support/panel_dump.h"

namespace {

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

// The view with and without colour, cut to a narrow width, the summary and the
// JSON line, against tests/data/apps/status_view.txt (escape codes included).
TEST(StatusView, ViewSummaryAndJsonLine) {
  StationStatus status = Sample();
  status.panel = "http://127.0.0.1:8080/";
  std::string text;
  const auto add = [&text](const std::vector<std::string>& lines) {
    for (const auto& line : lines) text += line + "\n";
    text += "--\n";
  };
  add(RenderStatusView(status, ViewStyle{120, true}));
  add(RenderStatusView(status, ViewStyle{30, true}));
  add(RenderStatusView(status, ViewStyle{0, true}));
  text += nlohmann::json::parse(StatusJsonLine(status)).dump(1) + "\n";
  status.alarms.clear();
  add(RenderStatusView(status, ViewStyle{120, false}));
  status.elapsed = 6.04;
  add(RenderSummary(status, "records.jsonl"));
  ExpectGoldenFile("apps/status_view.txt", text);
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
