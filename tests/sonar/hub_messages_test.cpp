// Hub messages: fields at their offsets, short messages, word decodings.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sonar/hub_messages.h"
#include "sonar/little_endian.h"

namespace {

HubStatusFields Sample() {
  HubStatusFields f;
  f.version = 0x0102;
  f.hubId = 101;
  f.fixedIp = {4, 3, 2, 10};
  f.altIp = 0xC0A80164;
  f.word20 = 0x11223344;
  f.word24 = 0x5566;
  f.supplyCentivolts = 2412;
  f.temperature1 = 620;
  f.sensor1 = 0x8000 | 0x3FF;
  f.deviceTimeUs = 0x0000123456789ABCull;
  f.altMask = 0xFFFFFF00;
  f.word52 = 0x778899AA;
  f.temperature2 = 621;
  f.sensor2 = 0x8004;
  f.linkStatus = {0x0900, 0x0A00, 0x0100};
  f.words72 = {1, 2, 3};
  return f;
}

}  // namespace

TEST(HubMessages, StatusFieldsSitAtTheirOffsets) {
  const auto f = Sample();
  const auto bytes = BuildHubStatus(7, f);
  ASSERT_EQ(bytes.size(), 78u);
  const unsigned char* m = bytes.data();
  struct Case {
    int at, size;
    std::uint64_t value;
  };
  const Case cases[] = {
      {2, 2, 7},           {8, 2, 0x0102},       {10, 2, 101},        {12, 4, 0x0A020304},
      {16, 4, 0xC0A80164}, {20, 4, 0x11223344},  {24, 2, 0x5566},     {26, 2, 2412},
      {32, 2, 620},        {36, 2, 0x83FF},      {38, 8, f.deviceTimeUs},
      {48, 4, 0xFFFFFF00}, {52, 4, 0x778899AA},  {58, 2, 621},        {60, 2, 0x8004},
      {62, 2, 0x0900},     {64, 2, 0x0A00},      {66, 2, 0x0100},     {72, 2, 1},
      {74, 2, 2},          {76, 2, 3},
  };
  for (const auto& c : cases) {
    const std::uint64_t got = c.size == 2   ? LittleEndian::U16(m + c.at)
                              : c.size == 4 ? LittleEndian::U32(m + c.at)
                                            : LittleEndian::U64(m + c.at);
    EXPECT_EQ(got, c.value) << "offset " << c.at;
  }
  EXPECT_EQ(HubMessageId(m), 7);
  HubStatusFields back;
  EXPECT_TRUE(ReadHubStatus(m, 78, back));
  EXPECT_EQ(back, f);
  EXPECT_FALSE(ReadHubStatus(m, 77, back));
}

TEST(HubMessages, DataItemsStopAtTheDeliveredLength) {
  const std::vector<SERIAL_BYTE_PACKET> items = {SERIAL_BYTE_PACKET::Make(0, '$', 1000),
                                                 SERIAL_BYTE_PACKET::Make(7, 'G', 1001),
                                                 SERIAL_BYTE_PACKET::Make(0xFF, 0, 0xABCDEF123456ull)};
  const auto bytes = BuildHubData(100, items);
  ASSERT_EQ(bytes.size(), 16u + 3 * 8);
  EXPECT_EQ(LittleEndian::U16(bytes.data() + 10), 3);
  EXPECT_EQ(HubMessageId(bytes.data()), 100);
  const struct {
    int length;
    std::size_t items;
  } cases[] = {{40, 3}, {39, 2}, {24, 1}, {16, 0}, {10, 0}};
  for (const auto& c : cases) {
    const auto got = ReadHubData(bytes.data(), c.length);
    ASSERT_EQ(got.size(), c.items) << c.length;
    for (std::size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].Port(), items[i].Port());
      EXPECT_EQ(got[i].Data(), items[i].Data());
      EXPECT_EQ(got[i].TimeUs(), items[i].TimeUs());
    }
  }
}

TEST(HubMessages, SerialAckRoundTrips) {
  const auto bytes = BuildHubSerialAck(5, {0x1234, 2});
  ASSERT_EQ(bytes.size(), 14u);
  EXPECT_EQ(LittleEndian::U16(bytes.data() + 10), 0x1234);
  EXPECT_EQ(LittleEndian::U16(bytes.data() + 12), 2);
  HubSerialAck ack;
  EXPECT_TRUE(ReadHubSerialAck(bytes.data(), 14, ack));
  EXPECT_EQ(ack.sequence, 0x1234);
  EXPECT_EQ(ack.status, 2);
  EXPECT_FALSE(ReadHubSerialAck(bytes.data(), 13, ack));
}

TEST(HubMessages, WordDecodings) {
  EXPECT_NEAR(HubTemperature(0), -273.15, 1e-9);
  EXPECT_NEAR(HubTemperature(1024), 503.975 - 273.15, 1e-9);
  const struct {
    std::uint16_t word;
    bool valid;
    double value;
  } sensors[] = {{0x0004, false, 0}, {0x8004, true, 1.0}, {0x81FF, true, 127.75},
                 {0x8200, true, -128.0}, {0x83FF, true, -0.25}, {0xFC01, true, 0.25}};
  for (const auto& s : sensors) {
    EXPECT_EQ(HubSensorValid(s.word), s.valid) << s.word;
    EXPECT_DOUBLE_EQ(HubSensorValue(s.word), s.value) << s.word;
  }
  const struct {
    std::uint16_t word;
    int speed;
  } links[] = {{0x0000, 0}, {0x0300, 0}, {0x0800, 10}, {0x0900, 100}, {0x0A00, 1000}, {0x0B00, 0}, {0xFBFF, 0}, {0xF8FF, 10}};
  for (const auto& l : links) EXPECT_EQ(HubLinkSpeed(l.word), l.speed) << l.word;
}
