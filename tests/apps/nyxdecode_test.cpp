// nyxdecode as a user runs it: arguments, standard input or a file, JSON lines
// on standard output, one-line errors and exit codes.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace {

struct RunResult {
  int exitCode = -1;
  std::vector<std::string> lines;
  std::string err;
};

std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / ("nyxdecode_" + std::to_string(::getpid()) + "_" + name)).string();
}

RunResult RunNyxDecode(const std::string& args, const std::string& input) {
  const std::string in = TempPath("in"), out = TempPath("out"), err = TempPath("err");
  std::ofstream(in, std::ios::binary) << input;
  const std::string command = std::string(NYXDECODE_PATH) + " " + args + " < " + in + " > " + out + " 2> " + err;
  const int status = std::system(command.c_str());
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream outFile(out);
  for (std::string line; std::getline(outFile, line);) result.lines.push_back(line);
  std::stringstream errText;
  errText << std::ifstream(err).rdbuf();
  result.err = errText.str();
  for (const auto& path : {in, out, err}) std::filesystem::remove(path);
  return result;
}

std::vector<nlohmann::json> Parse(const RunResult& result) {
  std::vector<nlohmann::json> out;
  for (const auto& line : result.lines) out.push_back(nlohmann::json::parse(line));
  return out;
}

const char* kGgaLine = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";

}  // namespace

TEST(NyxDecode, DecodesAGgaSentenceFromStandardInput) {
  const RunResult result = RunNyxDecode("--decoder GPGGA", kGgaLine);
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
  const RunResult result =
      RunNyxDecode("--decoder 1 --sync-char 13 --bank 7 --start 50 --baud 1000 -", std::string("xx\r") + kGgaLine);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const auto records = Parse(result);
  ASSERT_EQ(records.size(), 3u);  // "xx", the GGA, nothing for the dropped LF
  EXPECT_EQ(records[0]["text"], "xx");
  EXPECT_DOUBLE_EQ(records[1]["time"].get<double>(), 50.03);  // byte 3 at 10 ms per byte
  EXPECT_EQ(records[2]["bank"], 7);
}

TEST(NyxDecode, EventsFollowEachFramedMessage) {
  const RunResult result = RunNyxDecode("--decoder GPGGA --events", std::string(kGgaLine) + "junk\n");
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
  const RunResult result = RunNyxDecode("--list", "");
  ASSERT_EQ(result.exitCode, 0);
  ASSERT_GE(result.lines.size(), 4u);
  EXPECT_EQ(result.lines[0], "1\tGPGGA");
  EXPECT_EQ(result.lines[1], "2\tGPGGA + ZDA");
}

TEST(NyxDecode, ReadsAFile) {
  const std::string path = std::string(NYX_SOURCE_DIR) + "/data/gga_zda.nmea";
  const RunResult result = RunNyxDecode("--decoder \"GPGGA + ZDA\" " + path, "");
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
    const RunResult result = RunNyxDecode(c.args, kGgaLine);
    EXPECT_EQ(result.exitCode, c.exitCode) << c.args;
    EXPECT_NE(result.err.find(c.errorPart), std::string::npos) << c.args << " -> " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << c.args << " -> " << result.err;
    EXPECT_TRUE(result.lines.empty()) << c.args;
  }
}

TEST(NyxDecode, SurvivesHostileInput) {
  std::string noise;
  for (int i = 0; i < 20000; ++i) noise += static_cast<char>((i * 7919 + i / 13) & 0xFF);
  const std::string inputs[] = {"", std::string(100000, 'A'), noise, std::string(5000, '\0')};
  for (const auto& input : inputs) {
    for (const char* mode : {"ascii", "binary"}) {
      const RunResult result = RunNyxDecode(std::string("--decoder \"GPGGA + ZDA\" --rx-size 16 --mode ") + mode, input);
      EXPECT_EQ(result.exitCode, 0) << mode;
      for (const auto& line : result.lines) EXPECT_TRUE(nlohmann::json::accept(line)) << line;
    }
  }
}
