// TSS 1 (with and without heave), TSS 2, HEHDT and the TSS 1 + HEHDT ports.
#include <gtest/gtest.h>

#include "formats/decode_case.h"
#include "formats/tss.h"

using decode_case::Row;
using decode_case::RunRows;

namespace {

const std::string kTss1 = ":0A0E09 -0150F 0123  0456";
const char* kTss1Record = R"({"kind":3,"class":"CSnsrMru","heave":-1.5,"roll":1.23,"pitch":4.56,"sway":0,"surge":0,
                              "status":0,"status_text":""})";
const char* kTss1NoHeave = R"({"kind":3,"heave":0,"roll":1.23,"pitch":4.56})";
const char* kHehdtRecord = R"({"kind":2,"class":"CSnsrGyro","heading":123.4,"status":0,"status_text":""})";

// Rows every TSS 1 decoder rejects the same way.
std::vector<Row> Tss1Rejections() {
  return {
      {":0A0E09 -0150F 0123  045", 0, {}},            // 24 characters
      {":0A0E09 -0150F 0123  0456\r\n", 0, {}},       // 27
      {":0A0E09 -0150F 0123  ABCD", 0, {}},           // pitch letters
      {":0A0E09 -0150F      0456\r", 0, {}},          // roll blank
      {"\xC3\xA9" "0A0E09 -0150F 0123  045", 0, {}},  // 24 characters, 25 bytes
      {"", 0, {}},
  };
}

template <class Decoder>
void RunTss1Rows(std::vector<Row> rows) {
  for (auto& row : Tss1Rejections()) rows.push_back(row);
  RunRows<Decoder>(rows);
}

}  // namespace

TEST(Tss1, ReadsHeaveRollAndPitchFromTheirColumns) {
  RunTss1Rows<CSD_TSS1>({
      {kTss1 + "\r", 1, {kTss1Record}},
      {kTss1, 1, {kTss1Record}},
      {":0A0E09 +0150F-0123 -0456", 1, {R"({"heave":1.5,"roll":-1.23,"pitch":-4.56})"}},
      {"        00001 00001 00001", 1, {R"({"heave":0.01,"roll":0.01,"pitch":0.01})"}},
      // Only the three fields are read: the status column and the rest may hold anything.
      {"XXXXXXXX-0150Z 0123Q 0456", 1, {kTss1Record}},
      // A field converts as far as it is a number.
      {":0A0E09 -0150F 0123  04x6", 1, {R"({"heave":-1.5,"roll":1.23,"pitch":0.04})"}},
      // Columns count characters: 25 characters are 26 bytes here.
      {":0A0E\xC3\xA9" "9 -0150F 0123  0456", 1, {kTss1Record}},
      {":0A0E09 xxxxxF 0123  0456", 0, {}},  // heave is required
  });
}

TEST(Tss1, WithoutHeaveLeavesTheHeaveColumnsUnread) {
  RunTss1Rows<CSD_TSS1NOH>({
      {kTss1 + "\r", 1, {kTss1NoHeave}},
      {":0A0E09 xxxxxF 0123  0456", 1, {kTss1NoHeave}},
  });
}

TEST(Tss1Hehdt, DecidesByLengthBetweenTheTss1LineAndTheHeading) {
  const std::vector<Row> common = {
      {"$HEHDT,123.4,T*2B\r", 2, {kHehdtRecord}},
      {"$HEHDT,123.4", 2, {kHehdtRecord}},
      {"$HEHDT,T*2B", 0, {}},
      {"$GPHDT,123.4,T*2B", 0, {}},
      // 25 characters are a TSS 1 line, even when they would scan as a heading;
      // its heave column converts but the roll column does not: nothing is sent.
      {"$HEHDT,123.4,T*2B        ", 0, {}},
      {":0A0E09 -0150F 0123  ABCD", 0, {}},
      {"", 0, {}},
  };
  std::vector<Row> withHeave = common, noHeave = common;
  withHeave.push_back({kTss1 + "\r", 1, {kTss1Record}});
  noHeave.push_back({kTss1 + "\r", 1, {kTss1NoHeave}});
  noHeave.push_back({":0A0E09 xxxxxF 0123  0456", 1, {kTss1NoHeave}});
  RunRows<CSD_TSS1_HEHDT>(withHeave);
  RunRows<CSD_TSS1NOH_HEHDT>(noHeave);
}

TEST(Tss1Hehdt, PortShowsACompleteReadingWhenAHeadingCameBetweenTwoLines) {
  const std::string hdt = "$HEHDT,123.4,T*2B";
  for (const char* name : {"TSS Std 1 + HEHDT", "TSS 1(No Heave) + HEHDT"}) {
    EXPECT_EQ(decode_case::LightsThroughPort(name, {kTss1, hdt, kTss1, kTss1, hdt, hdt, kTss1, "bad"}),
              (std::vector<int>{1, 1, 2, 1, 1, 1, 2, 0}))
        << name;
  }
  // A single-part decoder is complete on every line.
  EXPECT_EQ(decode_case::LightsThroughPort("TSS Std 1", {kTss1, kTss1, "x"}), (std::vector<int>{2, 2, 0}));
}

TEST(Hehdt, ReadsTheHeadingAndNothingElse) {
  RunRows<CSD_HEHDT>({
      {"$HEHDT,123.4,T*2B\r", 1, {kHehdtRecord}},
      {"$HEHDT,-5.5,M", 1, {R"({"heading":-5.5})"}},  // letter and checksum are not looked at
      {"$HEHDT, 7", 1, {R"({"heading":7})"}},
      {"$HEHDT,,T*00", 0, {}},
      {"$HEHDT", 0, {}},
      {"$HCHDT,123.4,T", 0, {}},
      {" $HEHDT,123.4,T", 0, {}},
      {"", 0, {}},
  });
}

TEST(Tss2, ReadsHeadingMotionAndBothStatusCharacters) {
  RunRows<CSD_TSS2>({
      {":12345 -0150H 0123 -0456F\r", 1,
       {R"({"kind":3,"heave":-1.5,"roll":1.23,"pitch":-4.56,"status":1,"status_text":"Heave Nominal"})",
        R"({"kind":2,"heading":123.45,"status":1,"status_text":"Heading Nominal"})"}},
      {":12345 -0150h 0123 -0456f", 1,
       {R"({"status":0,"status_text":"Heave Aligning"})", R"({"status":0,"status_text":"Heading Aligning"})"}},
      {":00010 00000H 0000  0000A", 1,
       {R"({"heave":0,"status":1})", R"({"heading":0.1,"status":2,"status_text":"General Alarm"})"}},
      // Unknown status characters leave the records' defaults.
      {":12345 -0150X 0123 -0456X", 1,
       {R"({"heave":-1.5,"status":0,"status_text":""})", R"({"heading":123.45,"status":0,"status_text":""})"}},
      {":abcde -0150H 0123 -0456F", 0, {}},
      {":12345 -0150H 0123 -04", 0, {}},
      {":12345 -0150H 0123 ----- F", 0, {}},
      {":12345 -0150H 0123 -0456F\r\n", 0, {}},
      {"", 0, {}},
  });
}
