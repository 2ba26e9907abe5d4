// Navi-Pack: three records from one sentence, on the sensor's own bank.
#include <gtest/gtest.h>

#include "formats/decode_case.h"
#include "formats/navipack.h"

using decode_case::Row;
using decode_case::RunRows;

TEST(NaviPack, SendsMotionHeadingAndPositionInThatOrder) {
  RunRows<CSD_NaviPack>({
      {"$G3,1523.40,-82.75,12.50,123.4,1.25,-0.50\r", 1,
       {R"({"kind":3,"class":"CSnsrMru","bank":6,"pitch":1.25,"roll":-0.5,"heave":0})",
        R"({"kind":2,"class":"CSnsrGyro","bank":6,"heading":123.4})",
        R"({"kind":1,"class":"CSnsrPos","bank":6,"pos":[0,0,0],"pos2":[1523.4,-82.75,12.5],"quality":0})"}},
      {"$G0,1,2,3,4,5,6", 1,
       {R"({"bank":3,"pitch":5,"roll":6})", R"({"bank":3,"heading":4})", R"({"bank":3,"pos2":[1,2,3]})"}},
      {"$G3,1,2,3,4,5", 0, {}},
      {"$G3,1,2,3,4,5,x", 0, {}},
      {"$G,1,2,3,4,5,6", 0, {}},
      {"$GPGGA,1,2,3,4,5,6", 0, {}},
      {"G3,1,2,3,4,5,6", 0, {}},
      {"", 0, {}},
  });
}

TEST(NaviPack, TheSensorNumberShiftsTheBankWithin8Bits) {
  struct Case {
    int bank;
    const char* msg;
    int recordBank;
  };
  const Case cases[] = {
      {250, "$G3,1,2,3,4,5,6", 253},
      {254, "$G3,1,2,3,4,5,6", 1},
      {3, "$G-5,1,2,3,4,5,6", 254},
      {0, "$G1000,1,2,3,4,5,6", 232},
      {-1, "$G1,1,2,3,4,5,6", 0},
  };
  for (const auto& c : cases) {
    CSD_NaviPack decoder;
    const auto out = decode_case::DecodeOne(decoder, c.msg, 1.0, c.bank);
    EXPECT_EQ(out.result, 1) << c.msg;
    ASSERT_EQ(out.records.size(), 3u) << c.msg;
    for (const auto& record : out.records) EXPECT_EQ(record["bank"], c.recordBank) << c.bank << ' ' << c.msg;
  }
}
