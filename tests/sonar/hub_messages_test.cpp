// Hub messages: fields at their offsets, short messages, word decodings.
#include <gtest/gtest.h>

#include "sonar/hub_messages.h"
#include "sonar/little_endian.h"

TEST(HubMessages, FieldsSitAtTheirOffsets) {
  HubStatusFields f{0x0102, 101, {4, 3, 2, 10}, 0xC0A80164, 0x11223344, 0x5566, 2412, 620, 0x83FF,
                    0x123456789ABCull, 0xFFFFFF00, 0x778899AA, 621, 0x8004, {0x0900, 0x0A00, 0x0100}, {1, 2, 3}};
  const auto status = BuildHubStatus(7, f);
  const auto data = BuildHubData(100, {SERIAL_BYTE_PACKET::Make(0, '$', 1000), SERIAL_BYTE_PACKET::Make(0xFF, 1, 9)});
  const auto ack = BuildHubSerialAck(5, {0x1234, 2});
  const struct {
    const std::vector<unsigned char>& bytes;
    int at, size;
    std::uint64_t value;
  } cases[] = {{status, 2, 2, 7},           {status, 8, 2, 0x0102},       {status, 10, 2, 101},
               {status, 12, 4, 0x0A020304}, {status, 16, 4, 0xC0A80164},  {status, 20, 4, 0x11223344},
               {status, 24, 2, 0x5566},     {status, 26, 2, 2412},        {status, 32, 2, 620},
               {status, 36, 2, 0x83FF},     {status, 38, 8, f.deviceTimeUs}, {status, 48, 4, 0xFFFFFF00},
               {status, 52, 4, 0x778899AA}, {status, 58, 2, 621},         {status, 60, 2, 0x8004},
               {status, 62, 2, 0x0900},     {status, 66, 2, 0x0100},      {status, 76, 2, 3},
               {data, 2, 2, 100},           {data, 10, 2, 2},             {data, 16, 8, 0x03E8'2400ull},
               {data, 24, 8, 0x0009'01FFull}, {ack, 2, 2, 5},             {ack, 10, 2, 0x1234},
               {ack, 12, 2, 2}};
  for (const auto& c : cases) {
    const unsigned char* m = c.bytes.data() + c.at;
    const std::uint64_t got = c.size == 2 ? LittleEndian::U16(m) : c.size == 4 ? LittleEndian::U32(m) : LittleEndian::U64(m);
    EXPECT_EQ(got, c.value) << "offset " << c.at;
  }
  EXPECT_EQ(status.size(), 78u);
  HubStatusFields back;
  EXPECT_TRUE(ReadHubStatus(status.data(), 78, back));
  EXPECT_EQ(back, f);
  EXPECT_FALSE(ReadHubStatus(status.data(), 77, back));
  HubSerialAck read;
  EXPECT_TRUE(ReadHubSerialAck(ack.data(), 14, read));
  EXPECT_EQ(read.sequence, 0x1234);
  EXPECT_FALSE(ReadHubSerialAck(ack.data(), 13, read));
  // Items stop at the delivered length.
  for (auto [length, items] : {std::pair{32, 2u}, {31, 1u}, {16, 0u}, {3, 0u}}) {
    EXPECT_EQ(ReadHubData(data.data(), length).size(), items) << length;
  }
  EXPECT_EQ(ReadHubData(data.data(), 32)[1].TimeUs(), 9u);
}

TEST(HubMessages, WordDecodings) {
  EXPECT_NEAR(HubTemperature(620), 620 * 503.975 / 1024 - 273.15, 1e-9);
  const struct {
    std::uint16_t word;
    double sensor;
    int link;
  } cases[] = {{0x0004, 0, 0},      {0x8004, 1.0, 0},   {0x81FF, 127.75, 0}, {0x8200, -128.0, 0},
               {0x83FF, -0.25, 0}, {0x0800, 0, 10},    {0x0900, 0, 100},    {0x8A00, -128.0, 1000},
               {0xFBFF, -0.25, 0}, {0xF8FF, 63.75, 10}};
  for (const auto& c : cases) {
    EXPECT_EQ(HubSensorValid(c.word), (c.word & 0x8000) != 0) << c.word;
    EXPECT_DOUBLE_EQ(HubSensorValue(c.word), c.sensor) << c.word;
    EXPECT_EQ(HubLinkSpeed(c.word), c.link) << c.word;
  }
}
