// nyxdecode as a user runs it: arguments, standard input or a file, JSON lines
// on standard output, byte times from the baud rate, binary mode, the trigger
// that polls a sensor (its refusals are rows of tests/data/apps/refused_options.txt).
// What each decoder makes of its format is the decoders' own tests' business.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/json_subset.h"
#include "support/nyxdecode_run.h"
#include "support/sentences.h"

namespace {

using J = nlohmann::json;

}  // namespace

TEST(NyxDecode, OptionsShapeThePortAndTheRecordTimes) {
  const std::string em3000 = std::string("\x13\x90\x00\xFFgarbage", 11) + std::string("\x90\x90\x10\x00\xF0\xFF\x05\x00\x28\x23", 10) +
                             '\x42' + std::string("\x90\x90\x9C\xFF\xC8\x00\xD4\xFE\xA0\x8C", 10);
  const struct {
    std::string args;
    std::string input;
    Input how;
    const char* lines;  // every output line, as a JSON array of the fields it must hold
  } cases[] = {
      {"--decoder GPGGA", kGgaLine, Input::Stdin,
       R"([{"kind":0,"class":"CSnsrInf","time":1000.0},
           {"kind":1,"class":"CSnsrPos","pos":[11.516666666666667,48.117299999999986,592.3],"quality":1,"sats":8,
            "hdop":0.9,"time":1000.0}])"},
      // Index instead of name, CR terminator, bank, start time and 10 ms a byte; the LF after a CR frames nothing.
      {"--decoder 1 --sync-char 13 --bank 7 --start 50 --baud 1000 -", std::string("xx\r") + kGgaLine, Input::Stdin,
       R"([{"text":"xx"},{"kind":0,"time":50.03},{"kind":1,"bank":7}])"},
      {"--decoder GPGGA --events", std::string(kGgaLine) + "junk\n", Input::File,
       R"([{"kind":0},{"kind":1},{"event":"message","status":1,"light":2,"hz":"0.0"},{"kind":0,"text":"junk"},
           {"event":"message","text":"junk","status":0,"light":0}])"},
      // Each record carries the time of its frame's first byte; garbage before and between frames is passed over.
      {"--mode binary --decoder \"Simrad EM3000\" --baud 1000 --bank 2", em3000, Input::File,
       R"([{"kind":0,"text":"16,-16,5,9000","time":1000.11},{"kind":2,"heading":90.0,"bank":2,"time":1000.11},
           {"kind":3,"roll":0.16,"pitch":-0.16,"heave":0.05},{"kind":0,"text":"-100,200,-300,36000"},
           {"kind":2,"heading":360.0,"time":1000.22},{"kind":3,"roll":-1.0,"pitch":2.0,"heave":-3.0}])"},
  };
  for (const auto& c : cases) {
    const NyxDecodeOutput result = RunNyxDecode(c.args, c.input, c.how);
    ASSERT_EQ(result.exitCode, 0) << c.args << ": " << result.err;
    const J expected = J::parse(c.lines);
    ASSERT_EQ(result.lines.size(), expected.size()) << c.args;
    for (std::size_t i = 0; i < expected.size(); ++i) ExpectJsonSubset(result.lines[i], expected[i], c.args, JsonNumbers::Single);
  }
}

TEST(NyxDecode, ListsTheRegistriesAndReadsAFile) {
  const NyxDecodeOutput list = RunNyxDecode("--list", "", Input::Stdin);
  ASSERT_EQ(list.exitCode, 0);
  ASSERT_GE(list.rawLines.size(), 2u);
  EXPECT_EQ(list.rawLines[1], "2\tGPGGA + ZDA");

  const std::string path = std::string(NYX_SOURCE_DIR) + "/data/gga_zda.nmea";
  const NyxDecodeOutput result = RunNyxDecode("--decoder \"GPGGA + ZDA\" " + path, "", Input::Stdin);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto count = [&](int kind) { return std::count_if(result.lines.begin(), result.lines.end(), [&](const J& r) { return r["kind"] == kind; }); };
  EXPECT_EQ(count(1), 10);
  EXPECT_EQ(count(7), 10);
}

// The polled pressure sensor: "S" for each request sent, "R" for each record,
// in output order. At 100 baud each byte takes 0.1 s.
TEST(NyxDecode, TriggersPollThePressureSensorOnceTheIntervalIsExceeded) {
  const std::string reply = std::string(25, ' ') + "MEASURE -P 1 -PU bar -T 2 -TU K OK;";  // complete at 1005.9
  const struct {
    const char* rate;
    std::string input;
    std::string trace;
  } cases[] = {
      // 4 Hz triggers fall on exact binary times: 1001.0 is exactly one interval
      // on and does not poll, so polls come at 1000, 1001.25, 1002.5, 1003.75, 1005.
      {" --trigger-hz 4", reply, "SSSSSR"},
      {" --trigger-hz 0", reply, "R"},  // no triggers, no polls
      // 20 Hz by default over 10.1 s: one trigger after each full second, 10
      // polls (at least one interval would give 11).
      {"", std::string(101, ' '), std::string(10, 'S')},
  };
  for (const auto& c : cases) {
    const NyxDecodeOutput output =
        RunNyxDecode(std::string("--decoder \"PSea Pressure\" --sync-char 59 --baud 100 --events") + c.rate, c.input);
    ASSERT_EQ(output.exitCode, 0) << output.err;
    std::string trace;
    for (const auto& line : output.lines) {
      if (line.value("event", "") == "send") {
        EXPECT_EQ(line["hex"], "F0 64 07 4D 45 41 53 55 52 45 FC B9");
        trace += 'S';
      } else if (line.value("kind", 0) == 18) {
        trace += 'R';
      }
    }
    EXPECT_EQ(trace, c.trace) << c.rate;
  }
}
