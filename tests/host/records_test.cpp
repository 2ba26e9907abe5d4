// Record lines beyond what the decoders' golden files show: values that are
// not finite, bad text, and the stream records' archive and text fields.
#include <gtest/gtest.h>

#include <cmath>

#include "host/records.h"

namespace {

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

TEST(StreamRecords, SerializeAndTextFields) {
  CSnsStreamSCADA target;
  target.m_x = 1.5;
  target.m_flagB = 1;
  target.m_checksum = 0x6A;
  target.m_text = "t";
  CArchive out(CArchive::store);
  target.Serialize(out);
  CSnsStreamSCADA copy;
  CArchive in(CArchive::load, out.GetBytes());
  copy.Serialize(in);
  EXPECT_EQ(std::make_tuple(copy.m_x, copy.m_flagB, copy.m_checksum), std::make_tuple(1.5, 1, 0x6A));
  EXPECT_EQ(target.GetString(4), "1");
  EXPECT_EQ(target.GetString(6), "t");
  EXPECT_EQ(target.GetString(7), "");
  CSnsStreamStallPing ping;
  ping.m_flagA = 1;
  EXPECT_EQ(ping.GetString(0), "1");
}

}  // namespace
