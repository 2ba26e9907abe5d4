// Every record class as one JSON line, keys in their fixed order.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "host/records.h"

namespace {

struct JsonCase {
  int kind;
  std::function<std::unique_ptr<CSnsr>()> make;
  std::string expected;
};

template <class T>
std::unique_ptr<CSnsr> Make(std::function<void(T&)> fill) {
  auto record = std::make_unique<T>();
  record->m_time = 1000.25;
  record->m_bank = 3;
  fill(*record);
  return record;
}

}  // namespace

TEST(RecordJson, EveryClassWritesItsFieldsInOrder) {
  const JsonCase cases[] = {
      {0, [] { return Make<CSnsrInf>([](auto& r) { r.m_text = "$GPGGA,\"q\""; }); },
       R"({"kind":0,"class":"CSnsrInf","time":1000.25,"bank":3,"type":0,"text":"$GPGGA,\"q\""})"},
      {1, [] { return Make<CSnsrPos>([](auto& r) {
         r.m_quality = 1; r.m_pos = {11.5, 48.25, 592.3}; r.m_hdop = 0.9f; r.m_sats = 8; r.m_pos2 = {1, 2, 3}; }); },
       R"({"kind":1,"class":"CSnsrPos","time":1000.25,"bank":3,"quality":1,"pos":[11.5,48.25,592.3],"hdop":0.9,"sats":8,"pos2":[1.0,2.0,3.0]})"},
      {2, [] { return Make<CSnsrGyro>([](auto& r) { r.m_heading = 123.4f; r.m_status = 1; r.m_statusText = "Heading Nominal"; }); },
       R"({"kind":2,"class":"CSnsrGyro","time":1000.25,"bank":3,"heading":123.4,"status":1,"status_text":"Heading Nominal"})"},
      {3, [] { return Make<CSnsrMru>([](auto& r) { r.m_pitch = 4.56f; r.m_roll = 1.23f; r.m_heave = -1.5f; }); },
       R"({"kind":3,"class":"CSnsrMru","time":1000.25,"bank":3,"pitch":4.56,"roll":1.23,"heave":-1.5,"sway":0.0,"surge":0.0,"status":0,"status_text":""})"},
      {4, [] { return Make<CSnsrZ>([](auto& r) { r.m_depth = 12.345f; }); },
       R"({"kind":4,"class":"CSnsrZ","time":1000.25,"bank":3,"depth":12.345})"},
      {6, [] { return Make<CSnsrSOS>([](auto& r) { r.m_sos = 1500.25f; }); },
       R"({"kind":6,"class":"CSnsrSOS","time":1000.25,"bank":3,"sos":1500.25})"},
      {7, [] { return Make<CSnsrTime>([](auto& r) { r.m_gpsTime.SetTime(2002, 7, 4, 20, 15, 30, 0); r.m_zoneHours = 2; }); },
       R"({"kind":7,"class":"CSnsrTime","time":1000.25,"bank":3,"gps_time":710280930.0,"utc":"2002-07-04T20:15:30.000Z","zone_hours":2,"zone_minutes":0})"},
      {8, [] { return Make<CSnsrAlt>([](auto& r) { r.m_depth = 3.5f; }); },
       R"({"kind":8,"class":"CSnsrAlt","time":1000.25,"bank":3,"depth":3.5})"},
      {10, [] { return Make<CSnsrVTG>([](auto& r) { r.m_knots = 5.0f; r.m_kmh = 9.3f; }); },
       R"({"kind":10,"class":"CSnsrVTG","time":1000.25,"bank":3,"true_heading":0.0,"mag_heading":0.0,"knots":5.0,"kmh":9.3})"},
      {14, [] { return Make<CSnsrMarker>([](auto& r) { r.m_marker = 12.34f; }); },
       R"({"kind":14,"class":"CSnsrMarker","time":1000.25,"bank":3,"marker":12.34})"},
      {17, [] { return Make<CSnsrTmp>([](auto& r) { r.m_temperature = 21.5f; }); },
       R"({"kind":17,"class":"CSnsrTmp","time":1000.25,"bank":3,"temperature":21.5})"},
      {18, [] { return Make<CSnsrPressure>([](auto& r) {
         r.m_pressure = 10.1325f; r.m_pressureUnit = "bar"; r.m_temperature = 21.5f; r.m_temperatureUnit = "\xC2\xB0" "C"; }); },
       "{\"kind\":18,\"class\":\"CSnsrPressure\",\"time\":1000.25,\"bank\":3,\"pressure\":10.1325,\"pressure_unit\":\"bar\","
       "\"temperature\":21.5,\"temperature_unit\":\"\xC2\xB0" "C\"}"},
      {12001, [] { return Make<CSnsStreamSCADA>([](auto& r) {
         r.m_x = 1.5; r.m_y = 2.5; r.m_z = 3.5; r.m_flagA = 1; r.m_flagB = 1; r.m_checksum = 0x6A; }); },
       R"({"kind":12001,"class":"CSnsStreamSCADA","time":1000.25,"bank":3,"x":1.5,"y":2.5,"z":3.5,"flag_a":1,"flag_b":1,"checksum":106,"text":""})"},
      {12003, [] { return Make<CSnsStreamStallPing>([](auto& r) { r.m_flagA = 1; r.m_checksum = 0x79; }); },
       R"({"kind":12003,"class":"CSnsStreamStallPing","time":1000.25,"bank":3,"flag_a":1,"flag_b":0,"checksum":121,"text":""})"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RecordJsonLine(c.kind, *c.make()), c.expected);
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
  EXPECT_EQ(copy.m_x, 1.5);
  EXPECT_EQ(copy.m_flagB, 1);
  EXPECT_EQ(copy.m_checksum, 0x6A);
  EXPECT_EQ(target.GetString(4), "1");
  EXPECT_EQ(target.GetString(6), "t");
  EXPECT_EQ(target.GetString(7), "");

  CSnsStreamStallPing ping;
  ping.m_flagA = 1;
  EXPECT_EQ(ping.GetString(0), "1");
  EXPECT_EQ(ping.GetString(4), "");
}
