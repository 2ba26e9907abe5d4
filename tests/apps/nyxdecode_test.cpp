// nyxdecode as a user runs it: arguments, standard input or a file, JSON lines
// on standard output, one-line errors and exit codes.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/nyxdecode_run.h"
#include "support/sentences.h"

namespace {

std::vector<nlohmann::json> Parse(const NyxDecodeOutput& result) { return result.lines; }


}  // namespace

TEST(NyxDecode, DecodesAGgaSentenceFromStandardInput) {
  const NyxDecodeOutput result = RunNyxDecode("--decoder GPGGA", kGgaLine, Input::Stdin);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto records = Parse(result);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["kind"], 0);
  EXPECT_EQ(records[0]["class"], "CSnsrInf");
  EXPECT_EQ(records[1]["kind"], 1);
  EXPECT_EQ(records[1]["class"], "CSnsrPos");
  EXPECT_NEAR(records[1]["pos"][1].get<double>(), 48.1173, 1e-9);
  EXPECT_NEAR(records[1]["pos"][0].get<double>(), 11.516667, 1e-6);
  EXPECT_NEAR(records[1]["pos"][2].get<double>(), 592.3, 1e-9);
  EXPECT_EQ(records[1]["quality"], 1);
  EXPECT_EQ(records[1]["sats"], 8);
  EXPECT_EQ(records[1]["hdop"], 0.9);
  EXPECT_EQ(records[1]["time"], 1000.0);
}

TEST(NyxDecode, OptionsShapeThePortAndTheTimes) {
  // Index instead of name, CR terminator, bank, start time and baud rate.
  const NyxDecodeOutput result =
      RunNyxDecode("--decoder 1 --sync-char 13 --bank 7 --start 50 --baud 1000 -", std::string("xx\r") + kGgaLine, Input::Stdin);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto records = Parse(result);
  ASSERT_EQ(records.size(), 3u);  // "xx", the GGA, nothing for the dropped LF
  EXPECT_EQ(records[0]["text"], "xx");
  EXPECT_DOUBLE_EQ(records[1]["time"].get<double>(), 50.03);  // byte 3 at 10 ms per byte
  EXPECT_EQ(records[2]["bank"], 7);
}

TEST(NyxDecode, EventsFollowEachFramedMessage) {
  const NyxDecodeOutput result = RunNyxDecode("--decoder GPGGA --events", std::string(kGgaLine) + "junk\n", Input::Stdin);
  ASSERT_EQ(result.exitCode, 0);
  const auto lines = Parse(result);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[2]["event"], "message");
  EXPECT_EQ(lines[2]["status"], 1);
  EXPECT_EQ(lines[2]["light"], 2);
  EXPECT_EQ(lines[2]["hz"], "0.0");
  EXPECT_EQ(lines[4]["text"], "junk");
  EXPECT_EQ(lines[4]["status"], 0);
  EXPECT_EQ(lines[4]["light"], 0);
}

TEST(NyxDecode, ListsTheRegistries) {
  const NyxDecodeOutput result = RunNyxDecode("--list", "", Input::Stdin);
  ASSERT_EQ(result.exitCode, 0);
  ASSERT_GE(result.rawLines.size(), 4u);
  EXPECT_EQ(result.rawLines[0], "1\tGPGGA");
  EXPECT_EQ(result.rawLines[1], "2\tGPGGA + ZDA");
}

TEST(NyxDecode, ReadsAFile) {
  const std::string path = std::string(NYX_SOURCE_DIR) + "/data/gga_zda.nmea";
  const NyxDecodeOutput result = RunNyxDecode("--decoder \"GPGGA + ZDA\" " + path, "", Input::Stdin);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  int positions = 0, times = 0;
  for (const auto& record : Parse(result)) {
    positions += record["kind"] == 1;
    times += record["kind"] == 7;
  }
  EXPECT_EQ(positions, 10);
  EXPECT_EQ(times, 10);
}

TEST(NyxDecode, BadUsageFailsWithOneLine) {
  struct Case {
    std::string args;
    int exitCode;
    std::string errorPart;
  };
  const Case cases[] = {
      {"", 2, "--decoder is required"},
      {"--decoder Nope", 2, "unknown decoder 'Nope' (nyxdecode --list"},
      {"--decoder 0", 2, "unknown decoder '0'"},
      {"--decoder GPGGA --mode hex", 2, "--mode"},
      {"--decoder GPGGA --sync-char 256", 2, "--sync-char"},
      {"--decoder GPGGA --baud 0", 2, "--baud: must be a number above 0, not 0"},
      {"--decoder GPGGA --rx-size -1", 2, "--rx-size"},
      {"--decoder GPGGA --frobnicate", 2, "frobnicate"},
      {"--decoder GPGGA /no/such/capture", 1, "/no/such/capture: No such file or directory"},
  };
  for (const auto& c : cases) {
    const NyxDecodeOutput result = RunNyxDecode(c.args, kGgaLine, Input::Stdin);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args;
    EXPECT_NE(result.err.find(c.errorPart), std::string::npos) << c.args << " -> " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.args << " -> " << result.err;
    EXPECT_TRUE(result.rawLines.empty()) << c.args;
  }
}

TEST(NyxDecode, SurvivesHostileInput) {
  std::string noise;
  for (int i = 0; i < 20000; ++i) noise += static_cast<char>((i * 7919 + i / 13) & 0xFF);
  const std::string inputs[] = {"", std::string(100000, 'A'), noise, std::string(5000, '\0')};
  for (const auto& input : inputs) {
    for (const char* mode : {"ascii", "binary"}) {
      const NyxDecodeOutput result = RunNyxDecode(std::string("--decoder \"GPGGA + ZDA\" --rx-size 16 --mode ") + mode, input, Input::Stdin);
      EXPECT_EQ(result.exitCode, 0) << mode;
      for (const auto& line : result.rawLines) EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
  }
}
