// The JSON line writer's texts against nlohmann-json's compact dump; values that are not finite;
// the stream records' archive.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <nlohmann/json.hpp>

#include "host/json_line.h"
#include "host/records.h"

namespace {

std::string JsonLineTestDump(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TEST(JsonLineText, EscapesAndReplacesAsNlohmannDoes) {
  const std::string texts[] = {
      "",
      "$GPGGA,123519,4807.038,N*47",
      "quote \" backslash \\ slash / del \x7F",
      std::string("\x00\x01\x08\x09\x0A\x0C\x0D\x1B\x1F", 9),
      "\xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x98\x80",  // valid two, three and four byte characters
      "\x80 lone continuation, \xC0\xAF overlong, \xC1\xBF",
      "\xE0\x80\x80 overlong three, \xED\xA0\x80 surrogate, \xF4\x90\x80\x80 beyond U+10FFFF",
      "\xF5\xFF\xFE bytes that never lead",
      "\xE2\x82 cut short, \xE2 again, \xF0\x9F\x98 and at the end \xE2\x82",
      "\xC3\x28 second byte is ASCII, \xE2\x28\xA1, \xF0\x28\x8C\x28",
      "\xC2",
      "\xF0\x9F\x98",
  };
  for (const auto& text : texts) {
    std::string written;
    AppendJsonText(written, text);
    EXPECT_EQ(written, JsonLineTestDump(text)) << testing::PrintToString(text);
  }
}

TEST(RecordJson, NonFiniteValuesAreNullAndBadTextIsReplaced) {
  CSnsrMru mru;
  mru.m_pitch = std::nanf("");
  mru.m_roll = INFINITY;
  mru.m_time = std::nan("");
  const auto line = RecordJsonLine(3, mru);
  EXPECT_NE(line.find(R"("time":null)"), std::string::npos);
  EXPECT_NE(line.find(R"("pitch":null,"roll":null)"), std::string::npos);

  CSnsrInf inf;
  inf.m_text = "bad \xFF utf8";
  EXPECT_NE(RecordJsonLine(0, inf).find("bad \xEF\xBF\xBD utf8"), std::string::npos);
}

TEST(StreamRecords, SerializeRoundTrips) {
  CSnsStreamSCADA target;
  target.m_x = 1.5;
  target.m_flagB = 1;
  target.m_checksum = 0x6A;
  CArchive out(CArchive::store);
  target.Serialize(out);
  CSnsStreamSCADA copy;
  CArchive in(CArchive::load, out.GetBytes());
  copy.Serialize(in);
  EXPECT_EQ(std::make_tuple(copy.m_x, copy.m_flagB, copy.m_checksum), std::make_tuple(1.5, 1, 0x6A));
}

}  // namespace
