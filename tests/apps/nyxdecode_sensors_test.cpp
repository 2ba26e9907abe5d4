// Depth, sound-speed, pressure, annotation, stall-ping and target formats
// through nyxdecode as a user runs it: the records on standard output, and the
// PSea Pressure poll as send events.
#include <gtest/gtest.h>

#include "support/json_subset.h"
#include "support/nyxdecode_run.h"

namespace {

// Records other than the raw kind-0 lines.
std::vector<nlohmann::json> Decoded(const NyxDecodeOutput& output) {
  std::vector<nlohmann::json> out;
  for (const auto& line : output.lines) {
    if (line.contains("kind") && line["kind"] != 0) out.push_back(line);
  }
  return out;
}

// Numbers compared as single precision where the record keeps them so.
void ExpectFields(const nlohmann::json& actual, const nlohmann::json& expected, const std::string& what) {
  ExpectJsonSubset(actual, expected, what, JsonNumbers::Single);
}

}  // namespace

TEST(NyxDecodeFormats, EachFormatGivesItsRecords) {
  using J = nlohmann::json;
  struct Case {
    std::string args;
    std::string input;
    std::vector<J> records;  // the decoded records, in order (selected fields)
  };
  const Case cases[] = {
      {"--decoder Digi --sync-char 13", "*0001 12.345\r\n*00011\r\n",
       {J{{"kind", 4}, {"class", "CSnsrZ"}, {"depth", 12.345}, {"time", 1000.0}}}},
      {"--decoder SonDepth --bank 2", "$SONDEP,1234,0,C*hh\r\n$SONDEP,12.3,,M*hh\r\n$SONDEP,12.3\r\n",
       {J{{"class", "CSnsrZ"}, {"depth", 12.34}, {"bank", 2}}, J{{"class", "CSnsrZ"}, {"depth", 12.3}}}},
      {"--decoder \"AML Smart SVP\"", "12.5 1500.25\r\n12.5 0.5\r\n",
       {J{{"kind", 6}, {"class", "CSnsrSOS"}, {"sos", 1500.25}}}},
      {"--decoder \"Speed of Sound\" --sync-char 13", "  1498.72 \r\n",
       {J{{"kind", 6}, {"class", "CSnsrSOS"}, {"sos", 1498.72}}}},
      {"--decoder \"TSS Altimeter 1\" --sync-char 13", " 12.34\r\n 00.00\r\n",
       {J{{"kind", 14}, {"class", "CSnsrMarker"}, {"marker", 12.34}}}},
      {"--decoder \"Ulvertech Bathy\" --sync-char 13", "B0001 1234\r\nB0001 0000\r\n",
       {J{{"kind", 14}, {"class", "CSnsrMarker"}, {"marker", 12.34}}}},
      {"--decoder \"PSea Sensors\"",
       "$SDDBT,41.3,f,12.6,M,6.9,F*3A\r\n$VWVHW,,T,,M,5.0,N,9.3,K*hh\r\n$YXMTW,14.2,C*11\r\n$SDDPT,12.6,0.4,0.0*hh\r\n",
       {J{{"kind", 8}, {"class", "CSnsrAlt"}, {"depth", 12.6}},
        J{{"kind", 10}, {"class", "CSnsrVTG"}, {"true_heading", 0.0}, {"mag_heading", 0.0}, {"knots", 5.0}, {"kmh", 9.3}},
        J{{"kind", 17}, {"class", "CSnsrTmp"}, {"temperature", 14.2}}}},
      // The reply's degree sign arrives as the line's byte 0xB0.
      {"--decoder \"PSea Pressure\" --sync-char 59 --trigger-hz 0",
       "MEASURE -P 10.1325 -PU bar -T 21.5 -TU \xB0" "C OK;MEASURE -P 1 -PU psi -T 294.6 -TU K OK;",
       {J{{"kind", 18}, {"class", "CSnsrPressure"}, {"pressure", 10.1325}, {"pressure_unit", "bar"},
          {"temperature", 21.5}, {"temperature_unit", "°C"}},
        J{{"class", "CSnsrPressure"}, {"temperature_unit", "°K"}}}},
      {"--decoder Annotate --bank 5", "Start of line 42\r\n",
       {J{{"kind", 16}, {"class", "CSnsrInf"}, {"type", 16}, {"text", "Start of line 42\r"}, {"bank", 5}}}},
      {"--decoder \"SP SW\" --sync-char 13", "$PVKRSTP,1,*79\r\n$PVKRSTP,1,*78\r\n17\r\n$PVKRSTP,2,*7a\r\n",
       {J{{"kind", 12003}, {"class", "CSnsStreamStallPing"}, {"flag_a", 1}, {"flag_b", 1}, {"checksum", 0x79},
          {"text", "$PVKRSTP,1,*79"}, {"time", 0.0}, {"bank", 0}},
        J{{"kind", 12003}, {"flag_a", 0}, {"flag_b", 0}, {"checksum", 0x7A}}}},
      {"--decoder \"SP String\" --sync-char 13", "$PVKRSTP,1,*79\r\n17\r\n",
       {J{{"kind", 12003}, {"class", "CSnsStreamStallPing"}, {"flag_a", 1}}}},
      {"--decoder \"SP HW\" --sync-char 13", "$PVKRSTP,1,*79\r\n17\r\n", {}},
      {"--decoder \"VKR DTS\" --sync-char 13",
       "$PVKRDTS,1.5,2.5,3.5,1,*6A\r\n$PVKRDTS,1.5,2.5,3.5,*77\r\n$PVKRDTS,1.5,2.5,3.5,1,*6B\r\n",
       {J{{"kind", 12001}, {"class", "CSnsStreamSCADA"}, {"x", 1.5}, {"y", 2.5}, {"z", 3.5}, {"flag_a", 1},
          {"flag_b", 1}, {"checksum", 0x6A}, {"text", "$PVKRDTS,1.5,2.5,3.5,1,*6A"}},
        J{{"kind", 12001}, {"flag_a", 0}, {"flag_b", 1}, {"checksum", 0x77}}}},
  };
  for (const auto& c : cases) {
    const NyxDecodeOutput output = RunNyxDecode(c.args, c.input);
    ASSERT_EQ(output.exitCode, 0) << c.args << "\n" << output.err;
    const auto records = Decoded(output);
    ASSERT_EQ(records.size(), c.records.size()) << c.args;
    for (std::size_t i = 0; i < records.size(); ++i) ExpectFields(records[i], c.records[i], c.args);
  }
}

TEST(NyxDecodeFormats, StatusOfEachStallPingMessage) {
  // Message events: the decoder's result and the light after each message.
  const std::string input = "$PVKRSTP,1,*79\r\n$PVKRSTP,1,*78\r\n17\r\n";
  const std::pair<const char*, std::vector<int>> cases[] = {
      {"SP SW", {1, 0, 1}}, {"SP String", {1, 0, 0}}, {"SP HW", {0, 0, 1}}, {"VKR DTS", {0, 0, 1}}};
  for (const auto& [decoder, statuses] : cases) {
    const NyxDecodeOutput output = RunNyxDecode(std::string("--decoder \"") + decoder + "\" --sync-char 13 --events", input);
    ASSERT_EQ(output.exitCode, 0) << output.err;
    std::vector<int> seen;
    for (const auto& line : output.lines) {
      if (line.value("event", "") == "message") seen.push_back(line["status"].get<int>());
    }
    EXPECT_EQ(seen, statuses) << decoder;
  }
}

TEST(NyxDecodeFormats, BinaryFramesAndFlowControl) {
  const std::string input("\x11\x90\x90\x10\x00\xF0\xFF\x05\x00\x28\x23\x13", 12);
  const NyxDecodeOutput output = RunNyxDecode("--decoder \"SP SW\" --mode binary --events", input);
  ASSERT_EQ(output.exitCode, 0) << output.err;
  std::vector<std::pair<std::string, int>> messages;
  for (const auto& line : output.lines) {
    if (line.value("event", "") == "message") messages.emplace_back(line["text"], line["status"]);
  }
  const std::vector<std::pair<std::string, int>> expected = {{"", 0}, {"16,-16,5,9000", 1}, {"", 0}};
  EXPECT_EQ(messages, expected);
  EXPECT_TRUE(Decoded(output).empty());
}

namespace {

const char* kRequestHex = "F0 64 07 4D 45 41 53 55 52 45 FC B9";

// Send events, and the decoded records, in output order: "S" for a request,
// "R" for a pressure record.
std::string PollTrace(const NyxDecodeOutput& output) {
  std::string trace;
  for (const auto& line : output.lines) {
    if (line.value("event", "") == "send") {
      EXPECT_EQ(line["hex"], kRequestHex);
      trace += 'S';
    } else if (line.value("kind", 0) == 18) {
      trace += 'R';
    }
  }
  return trace;
}

}  // namespace

TEST(NyxDecodeFormats, PSeaPressurePollFollowsTheStrictInterval) {
  // At 100 baud each byte takes 0.1 s. Triggers at 4 Hz fall on exact binary
  // times: 1000.0 polls, 1001.0 is exactly one interval on and does not, so the
  // next poll is 1001.25, then 1002.5, 1003.75, 1005.0 ... (every 1.25 s).
  std::string input(25, ' ');            // bytes 0-24 arrive 1000.0 to 1002.4
  input += "MEASURE -P 1 -PU bar -T 2 -TU K OK;";  // ends at byte 59, 1005.9
  const NyxDecodeOutput output = RunNyxDecode("--decoder \"PSea Pressure\" --sync-char 59 --baud 100 --trigger-hz 4 --events", input);
  ASSERT_EQ(output.exitCode, 0) << output.err;
  // Polls at 1000, 1001.25, 1002.5, 1003.75, 1005.0 come before the reply is
  // complete at 1005.9.
  EXPECT_EQ(PollTrace(output), "SSSSSR");

  // A trigger rate of 0 runs no triggers: nothing is polled.
  const NyxDecodeOutput quiet = RunNyxDecode("--decoder \"PSea Pressure\" --sync-char 59 --baud 100 --trigger-hz 0 --events", input);
  EXPECT_EQ(PollTrace(quiet), "R");
}

TEST(NyxDecodeFormats, PSeaPressurePollsAtTheDefaultTriggerRate) {
  // 20 Hz triggers over 10.1 s of capture (101 bytes at 100 baud): the interval
  // must be exceeded, so polls come one trigger after each full second.
  const NyxDecodeOutput output = RunNyxDecode("--decoder \"PSea Pressure\" --sync-char 59 --baud 100 --events", std::string(101, ' '));
  ASSERT_EQ(output.exitCode, 0) << output.err;
  const std::string trace = PollTrace(output);
  // 1000.0 and then every 1.05 s up to 1010.0: 10 polls; a rule of "at least
  // one interval" would give 11.
  EXPECT_EQ(trace, std::string(10, 'S'));
}
