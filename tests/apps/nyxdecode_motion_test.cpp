// nyxdecode on the motion, heading and attitude formats: each decoder by its
// registry name, and the EM3000 binary stream in Binary mode.
#include <gtest/gtest.h>

#include "support/json_subset.h"
#include "support/nyxdecode_run.h"

namespace {

// "kind:class" of each record, in order.
std::vector<std::string> Kinds(const NyxDecodeOutput& result) {
  std::vector<std::string> kinds;
  for (const auto& line : result.lines) {
    kinds.push_back(std::to_string(line["kind"].get<int>()) + ":" + line["class"].get<std::string>());
  }
  return kinds;
}

}  // namespace

TEST(NyxDecodeFormats, EachDecoderByItsRegistryName) {
  struct Case {
    const char* decoder;
    std::string input;
    std::vector<std::string> kinds;
    int record;  // index of the record to check
    const char* fields;
  };
  const std::string tss1 = ":0A0E09 -0150F 0123  0456\r\n";
  const std::string hdt = "$HEHDT,123.4,T*2B\r\n";
  const Case cases[] = {
      {"HEHDT", hdt, {"0:CSnsrInf", "2:CSnsrGyro"}, 1, R"({"heading":123.4})"},
      {"TSS Std 1", tss1, {"0:CSnsrInf", "3:CSnsrMru"}, 1, R"({"heave":-1.5,"roll":1.23,"pitch":4.56})"},
      {"TSS 1 (No Heave)", tss1, {"0:CSnsrInf", "3:CSnsrMru"}, 1, R"({"heave":0,"roll":1.23,"pitch":4.56})"},
      {"TSS Std 1 + HEHDT", tss1 + hdt, {"0:CSnsrInf", "3:CSnsrMru", "0:CSnsrInf", "2:CSnsrGyro"}, 1,
       R"({"heave":-1.5})"},
      {"TSS 1(No Heave) + HEHDT", hdt + tss1, {"0:CSnsrInf", "2:CSnsrGyro", "0:CSnsrInf", "3:CSnsrMru"}, 3,
       R"({"heave":0,"pitch":4.56})"},
      {"Octans Std 2", ":12345 -0150H 0123 -0456F\r\n", {"0:CSnsrInf", "3:CSnsrMru", "2:CSnsrGyro"}, 2,
       R"({"heading":123.45,"status":1,"status_text":"Heading Nominal"})"},
      {"CDL Mini Tilt", "P+01.234R-02.345\r\n", {"0:CSnsrInf", "3:CSnsrMru"}, 1, R"({"pitch":1.234,"roll":-2.345})"},
      {"CDL 1", "H123.4P-1.2R3.4T25.0\r\n", {"0:CSnsrInf", "2:CSnsrGyro", "3:CSnsrMru"}, 2,
       R"({"pitch":-1.2,"roll":3.4})"},
      {"Navi-Pack", "$G3,1523.40,-82.75,12.50,123.4,1.25,-0.50\r\n",
       {"0:CSnsrInf", "3:CSnsrMru", "2:CSnsrGyro", "1:CSnsrPos"}, 3, R"({"bank":6,"pos2":[1523.4,-82.75,12.5]})"},
      {"Simrad EM3000", "16,-16,5,9000\r\n", {"0:CSnsrInf", "2:CSnsrGyro", "3:CSnsrMru"}, 2,
       R"({"roll":0.16,"pitch":-0.16,"heave":0.05})"},
      {"OctansAll", "$HEHDT,90.0,T*16\r\n$PHTRO,1.50,P,2.25,B*42\r\n$PHLIN,0.10,-0.20,0.30*4C\r\n",
       {"0:CSnsrInf", "2:CSnsrGyro", "0:CSnsrInf", "0:CSnsrInf", "3:CSnsrMru"}, 4,
       R"({"pitch":-1.5,"roll":-2.25,"surge":0.1,"sway":-0.2,"heave":0.3})"},
      {"OctansGHPR", "$PHTRH,1.50,P,2.25,B,0.10,O*15\r\n", {"0:CSnsrInf", "3:CSnsrMru"}, 1,
       R"({"heave":-0.1})"},
      {"OctansHead", "$PHINF,00000000*75\r\n$HEHDT,90.0,T*16\r\n", {"0:CSnsrInf", "0:CSnsrInf", "2:CSnsrGyro"}, 2,
       R"({"heading":90})"},
      {"OctansHPR", "$PHTRH,1.50,M,2.25,T,0.10,U*15\r\n", {"0:CSnsrInf", "3:CSnsrMru"}, 1,
       R"({"pitch":1.5,"roll":2.25,"heave":0.1})"},
      {"OctansLinear", "$HEHDT,90.0,T*16\r\n$PHSPD,1.0,0.0,0.0*5C\r\n", {"0:CSnsrInf", "0:CSnsrInf", "1:CSnsrPos"},
       2, R"({"pos":[1.0,0.0,0.0]})"},
      {"OctansPR", "$PHTRO,1.50,P,2.25,B*42\r\n", {"0:CSnsrInf", "3:CSnsrMru"}, 1,
       R"({"pitch":-1.5,"roll":-2.25,"heave":0})"},
  };
  for (const auto& c : cases) {
    const NyxDecodeOutput result = RunNyxDecode(std::string("--decoder \"") + c.decoder + "\" --bank 3", c.input);
    ASSERT_EQ(result.exitCode, 0) << c.decoder << ": " << result.err;
    EXPECT_EQ(Kinds(result), c.kinds) << c.decoder;
    if (static_cast<std::size_t>(c.record) >= result.lines.size()) continue;
    const auto& record = result.lines[static_cast<std::size_t>(c.record)];
    const auto fields = nlohmann::json::parse(c.fields);
    ExpectJsonSubset(record, fields, c.decoder);
  }
}

TEST(NyxDecodeFormats, Em3000BinaryStreamWithLeadingGarbage) {
  const std::string frame("\x90\x90\x10\x00\xF0\xFF\x05\x00\x28\x23", 10);
  const std::string second("\x90\x90\x9C\xFF\xC8\x00\xD4\xFE\xA0\x8C", 10);  // -100, 200, -300, 36000
  std::string input("\x13\x90\x00\xFFgarbage", 11);
  input.append(frame).append(1, '\x42').append(second);
  const NyxDecodeOutput result = RunNyxDecode("--mode binary --decoder \"Simrad EM3000\" --baud 1000 --bank 2", input);
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_EQ(Kinds(result), (std::vector<std::string>{"0:CSnsrInf", "2:CSnsrGyro", "3:CSnsrMru", "0:CSnsrInf",
                                                     "2:CSnsrGyro", "3:CSnsrMru"}));
  const auto& r = result.lines;
  EXPECT_EQ(r[0]["text"], "16,-16,5,9000");
  // Each record carries the arrival time of its frame's first byte: 10 ms a byte.
  EXPECT_DOUBLE_EQ(r[0]["time"].get<double>(), 1000.11);
  EXPECT_DOUBLE_EQ(r[1]["time"].get<double>(), 1000.11);
  EXPECT_EQ(r[1]["heading"], 90.0);
  EXPECT_EQ(r[1]["bank"], 2);
  EXPECT_EQ(r[2]["roll"], 0.16);
  EXPECT_EQ(r[2]["pitch"], -0.16);
  EXPECT_EQ(r[2]["heave"], 0.05);
  EXPECT_EQ(r[3]["text"], "-100,200,-300,36000");
  EXPECT_DOUBLE_EQ(r[4]["time"].get<double>(), 1000.22);
  EXPECT_EQ(r[4]["heading"], 360.0);
  EXPECT_EQ(r[5]["roll"], -1.0);
  EXPECT_EQ(r[5]["pitch"], 2.0);
  EXPECT_EQ(r[5]["heave"], -3.0);
}
