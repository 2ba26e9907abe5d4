// Sonar library messages: raw bytes beside the fields they carry.
#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "sonar/zep_messages.h"

namespace {

// "48 02 07 00" -> bytes.
std::vector<unsigned char> Hex(const std::string& text) {
  std::vector<unsigned char> bytes;
  std::istringstream in(text);
  unsigned value = 0;
  while (in >> std::hex >> value) bytes.push_back(static_cast<unsigned char>(value));
  return bytes;
}

std::vector<unsigned char> Raw(const unsigned char* bytes, std::size_t length) {
  return std::vector<unsigned char>(bytes, bytes + length);
}

}  // namespace

TEST(SerialBytePacket, FieldsSitAtTheirOffsets) {
  struct Case {
    const char* raw;
    unsigned char port, data;
    std::uint64_t timeUs;
  };
  const Case cases[] = {
      {"00 24 00 00 00 00 00 00", 0, '$', 0},
      {"03 41 78 56 34 12 cd ab", 3, 'A', 0xABCD12345678ull},
      {"ff 01 01 00 00 00 00 00", 0xFF, 1, 1},
      {"07 0a ff ff ff ff ff ff", 7, '\n', 0xFFFFFFFFFFFFull},
  };
  for (const auto& c : cases) {
    const auto raw = Hex(c.raw);
    const auto parsed = SERIAL_BYTE_PACKET::FromBytes(raw.data());
    EXPECT_EQ(std::make_tuple(parsed.Port(), parsed.Data(), parsed.TimeUs(), parsed.IsPpsEdge()),
              std::make_tuple(c.port, c.data, c.timeUs, c.port == 0xFF)) << c.raw;
    const auto made = SERIAL_BYTE_PACKET::Make(c.port, c.data, c.timeUs);
    EXPECT_EQ(Raw(made.m_raw, sizeof made.m_raw), raw) << c.raw;
  }
  // Only the low 48 bits of a time are kept.
  EXPECT_EQ(SERIAL_BYTE_PACKET::Make(1, 2, 0x0123456789ABCDEFull).TimeUs(), 0x456789ABCDEFull);
}

TEST(ZepNetMsg, ItemsOfBothTypesAtEveryLength) {
  struct Case {
    const char* what;
    const char* raw;
    int length;
    std::vector<ZepSerialItem> items;
  };
  const std::string type1 =
      "48 01 07 00 00 00 00 00 "
      "10 00 00 00 02 00 00 24 "   // 0x0002'00000010 us, '$'
      "11 00 00 00 02 00 99 47";   // byte 6 is not read
  const std::string type2Stamped =
      "48 02 34 12 00 00 00 00 01 00 "
      "e8 03 00 00 00 00 00 41 "
      "e9 03 00 00 00 00 00 42";
  const std::string type1OtherTag = "49 01" + type1.substr(5);
  const std::string type2Plain = "49 02 34 12 00 00 00 00 00 00 41 ff 42 ff 43";
  const Case cases[] = {
      {"type 1, two items", type1.c_str(), 24,
       {{0, '$', 0x000200000010ull}, {0, 'G', 0x000200000011ull}}},
      {"type 1, trailing part of an item", type1.c_str(), 23, {{0, '$', 0x000200000010ull}}},
      {"type 1, header only", type1.c_str(), 8, {}},
      {"type 1 is the first port whatever the tag", type1OtherTag.c_str(), 16,
       {{0, '$', 0x000200000010ull}}},
      {"type 2 stamped, first port", type2Stamped.c_str(), 26, {{0, 'A', 1000}, {0, 'B', 1001}}},
      {"type 2 stamped, one item and a part", type2Stamped.c_str(), 25, {{0, 'A', 1000}}},
      {"type 2 stamped, header only", type2Stamped.c_str(), 10, {}},
      {"type 2 second port, 2-byte items", type2Plain.c_str(), 15, {{1, 'A', 0}, {1, 'B', 0}}},
      {"type 2, 2-byte items, one whole", type2Plain.c_str(), 13, {{1, 'A', 0}}},
      {"type 2, 2-byte items, length 10", type2Plain.c_str(), 10, {}},
      {"type 2, any tag but 'H' is the second port", "00 02 01 00 00 00 00 00 00 00 5a 00", 12, {{1, 'Z', 0}}},
      {"type 3 is ignored", "48 03 01 00 00 00 00 00 00 00 5a 00 5a 00", 14, {}},
      {"a negative length", type1.c_str(), -8, {}},
  };
  for (const auto& c : cases) {
    const auto raw = Hex(c.raw);
    const auto msg = CZepNetMsg::FromBytes(raw.data(), static_cast<int>(raw.size()));
    EXPECT_EQ(msg.Items(c.length), c.items) << c.what;
  }
}

TEST(ZepNetMsg, ALengthBeyondTheCapacityReadsOnlyTheCapacity) {
  std::vector<unsigned char> raw(CZepNetMsg::kCapacity + 100, 0x55);
  raw[0] = 'H';
  raw[1] = 2;
  raw[8] = 0;  // 2-byte items
  const auto msg = CZepNetMsg::FromBytes(raw.data(), static_cast<int>(raw.size()));
  const auto items = msg.Items(static_cast<int>(raw.size()));
  EXPECT_EQ(items.size(), static_cast<std::size_t>((CZepNetMsg::kCapacity - 10) / 2));
}

TEST(ZepNetMsgBuilder, BuildsTheBytesThatParseBack) {
  struct Case {
    const char* what;
    CZepNetMsgBuilder builder;
    std::vector<ZepSerialItem> items;
    const char* raw;
  };
  const Case cases[] = {
      {"type 1", CZepNetMsgBuilder::Type1(7), {{0, '$', 0x000200000010ull}, {0, 'G', 1}},
       "48 01 07 00 00 00 00 00 10 00 00 00 02 00 00 24 01 00 00 00 00 00 00 47"},
      {"type 2 stamped, second port", CZepNetMsgBuilder::Type2(0x1234, 1, true), {{1, 'A', 1000}},
       "49 02 34 12 00 00 00 00 01 00 e8 03 00 00 00 00 00 41"},
      {"type 2 plain, first port", CZepNetMsgBuilder::Type2(0x1234, 0, false), {{0, 'A', 0}, {0, 'B', 0}},
       "48 02 34 12 00 00 00 00 00 00 41 00 42 00"},
  };
  for (auto c : cases) {
    for (const auto& item : c.items) ASSERT_TRUE(c.builder.Add(item.data, item.timeUs)) << c.what;
    const auto raw = Hex(c.raw);
    ASSERT_EQ(c.builder.Length(), static_cast<int>(raw.size())) << c.what;
    EXPECT_EQ(Raw(c.builder.Msg().Bytes(), raw.size()), raw) << c.what;
    EXPECT_EQ(c.builder.Msg().Items(c.builder.Length()), c.items) << c.what;
  }
  const CZepNetMsg msg = cases[1].builder.Msg();
  EXPECT_EQ(std::make_tuple(msg.PortTag(), msg.Type(), msg.SonarId(), msg.TimeStamped()),
            std::make_tuple('I', 2, 0x1234, true));
}

TEST(ZepNetMsgBuilder, StopsAtTheCapacityOfAMessage) {
  struct Case {
    CZepNetMsgBuilder builder;
    int capacity;
  };
  Case cases[] = {
      {CZepNetMsgBuilder::Type1(1), (1472 - 8) / 8},
      {CZepNetMsgBuilder::Type2(1, 0, true), (1472 - 10) / 8},
      {CZepNetMsgBuilder::Type2(1, 1, false), (1472 - 10) / 2},
  };
  for (auto& c : cases) {
    EXPECT_EQ(c.builder.Capacity(), c.capacity);
    for (int i = 0; i < c.capacity; ++i) ASSERT_TRUE(c.builder.Add(static_cast<unsigned char>(i), i));
    EXPECT_FALSE(c.builder.Add(0xEE, 0));
    EXPECT_EQ(c.builder.ItemCount(), c.capacity);
    EXPECT_LE(c.builder.Length(), CZepNetMsg::kCapacity);
    EXPECT_EQ(c.builder.Msg().Items(c.builder.Length()).size(), static_cast<std::size_t>(c.capacity));
  }
}

TEST(ZepStatusPacket, FieldsSitAtTheirOffsets) {
  std::vector<unsigned char> raw(64, 0xA5);  // every byte not named is noise
  raw[2] = 0x39;
  raw[3] = 0x30;  // id 12345
  raw[7] = 2;
  raw[24] = 0x03;
  raw[25] = 0x31;
  const auto time = Hex("0f 0e 0d 0c 0b 0a 09 08");
  std::copy(time.begin(), time.end(), raw.begin() + 48);
  const auto packet = CZepStatusPacket::FromBytes(raw.data(), raw.size());
  EXPECT_EQ(std::make_tuple(packet.SonarId(), packet.Kind(), packet.Flags(), packet.HasTimeSync(), packet.TypeCode(),
                            packet.SonarTimeUs()),
            std::make_tuple(12345, 2, 3, true, 0x31, 0x08090A0B0C0D0E0Full));
  EXPECT_EQ(Raw(packet.Bytes(), 64), raw);
  // A short copy leaves the rest zero.
  const auto shortCopy = CZepStatusPacket::FromBytes(raw.data(), 8);
  EXPECT_EQ(std::make_tuple(shortCopy.SonarId(), shortCopy.Kind(), shortCopy.SonarTimeUs()),
            std::make_tuple(12345, 2, 0u));
  EXPECT_EQ(CZepStatusPacket::FromBytes(nullptr, 64).SonarId(), 0);
}

TEST(ZepStatusPacket, MadePacketsCarryZerosElsewhere) {
  const auto packet = CZepStatusPacket::Make(7, 0, 0x01, 0x31, 1234567890123ull);
  std::vector<unsigned char> expected(64, 0);
  expected[2] = 7;
  expected[24] = 1;
  expected[25] = 0x31;
  const auto time = Hex("cb 04 fb 71 1f 01 00 00");
  std::copy(time.begin(), time.end(), expected.begin() + 48);
  EXPECT_EQ(Raw(packet.Bytes(), 64), expected);
  EXPECT_FALSE(CZepStatusPacket::Make(7, 0, 0x02, 0, 0).HasTimeSync());
}

TEST(ZepPingAndDmg, TimesAtTheirUnalignedOffsets) {
  const auto ping = Hex("00 00 05 01 00 00 00 00 00 00 00 00 40 42 0f 00 00 00 00 00");
  const auto head = CZepPingHead::FromBytes(ping.data(), ping.size());
  EXPECT_EQ(head.SonarId(), 0x0105);
  EXPECT_EQ(head.PingTimeUs(), 1000000u);
  EXPECT_EQ(Raw(CZepPingHead::Make(0x0105, 1000000).Bytes(), ping.size()), ping);

  const auto dmg = Hex(
      "00 00 2a 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
      "01 02 03 04 05 06 07 08");
  const auto data = CZepDMGData::FromBytes(dmg.data(), dmg.size());
  EXPECT_EQ(data.SonarId(), 42);
  EXPECT_EQ(data.TimeUs(), 0x0807060504030201ull);
  EXPECT_EQ(Raw(CZepDMGData::Make(42, 0x0807060504030201ull).Bytes(), dmg.size()), dmg);
}
