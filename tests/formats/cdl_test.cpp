// CDL Mini Tilt and CDL 1.
#include <gtest/gtest.h>

#include "formats/cdl.h"
#include "formats/decode_case.h"

using decode_case::Row;
using decode_case::RunRows;

TEST(MiniTilt, ReadsPitchAndRollBetweenTheirMarkers) {
  const char* tilt = R"({"kind":3,"class":"CSnsrMru","pitch":1.234,"roll":-2.345,"heave":0,"status":0})";
  RunRows<CSD_MiniTilt>({
      {"P+01.234R-02.345\r\n", 1, {tilt}},
      {"P+01.234R-02.345", 1, {tilt}},
      {"\n\rP+01.234R-02.345\r\r", 1, {tilt}},
      {"P  1.5  R  -2.5 ", 1, {R"({"pitch":1.5,"roll":-2.5})"}},
      {"P1.5xxxxR2.5yyyy", 1, {R"({"pitch":1.5,"roll":2.5})"}},
      // 16 characters, 17 bytes: columns count characters.
      {"P+01.23\xC3\xA9R-02.345", 1, {R"({"pitch":1.23,"roll":-2.345})"}},
      {"P+01.234R-02.34", 0, {}},     // 15 characters
      {"P+01.234R-02.3456", 0, {}},   // 17
      {" P+01.234R-02.345", 0, {}},   // only CR and LF are trimmed
      {"X+01.234R-02.345", 0, {}},
      {"P+01.234X-02.345", 0, {}},
      {"p+01.234r-02.345", 0, {}},
      {"PabcdefgR-02.345", 0, {}},
      {"P+01.234Rabcdefg", 0, {}},
      {"P       R       ", 0, {}},
      {"\r\n", 0, {}},
      {"", 0, {}},
  });
}

TEST(MiniTilt, LeavesTheTrimmedTextAsThePortsMessage) {
  CSD_MiniTilt decoder;
  EXPECT_EQ(decode_case::DecodeOne(decoder, "\r\nP+01.234R-02.345\r\n").msg, "P+01.234R-02.345");
  EXPECT_EQ(decode_case::DecodeOne(decoder, "\rbad\n").msg, "bad");
  EXPECT_EQ(decode_case::DecodeOne(decoder, "\r\n\r").msg, "");
}

TEST(Cdl1, ReadsHeadingPitchAndRollBetweenTheLetters) {
  const char* heading = R"({"kind":2,"class":"CSnsrGyro","heading":123.4})";
  const char* motion = R"({"kind":3,"class":"CSnsrMru","pitch":-1.2,"roll":3.4,"heave":0})";
  RunRows<CSD_CDL1>({
      {"H123.4P-1.2R3.4T25.0\r", 1, {heading, motion}},
      {"H123.4P-1.2R3.4T", 1, {heading, motion}},
      {"$XYZ,H 90 P 1 R 2 T", 1, {R"({"heading":90})", R"({"pitch":1,"roll":2})"}},
      {"H123.4abcP-1.2xR3.4yT", 1, {heading, motion}},  // text after each number is ignored
      {"H123.4P-1.2R3.4", 0, {}},                        // no T
      {"H123.4R3.4P-1.2T", 0, {}},                       // no R after the P
      {"P-1.2H123.4R3.4T", 0, {}},                       // no P after the H
      {"HP-1.2R3.4T", 0, {}},                            // empty heading
      {"H123.4PxR3.4T", 0, {}},
      {"H123.4P-1.2RT", 0, {}},
      {"h123.4p-1.2r3.4t", 0, {}},
      {"", 0, {}},
  });
}
