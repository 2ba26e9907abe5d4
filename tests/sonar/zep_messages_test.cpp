// Sonar library messages: raw bytes beside the fields they carry, from
// tests/data/sonar/zep_messages.txt, and the capacity of a message.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sonar/zep_messages.h"

namespace {

// One record of the data file: kind, fields, bytes and items.
struct Record {
  std::string kind;
  std::vector<std::uint64_t> fields;
  std::vector<unsigned char> bytes;
  std::vector<ZepSerialItem> items;
  int part = 0;  // 0 fields, 1 bytes, 2 items
  std::string text;
};

void Parse(Record& record, const std::string& text) {
  record.text += text;
  std::istringstream words(text);
  std::string word;
  while (words >> word) {
    if (word == "=" || word == "->") {
      ++record.part;
    } else if (record.kind.empty()) {
      record.kind = word;
    } else if (record.part == 0) {
      record.fields.push_back(std::stoull(word, nullptr, 0));
    } else if (record.part == 1) {
      const auto star = word.find('*');
      const int count = star == std::string::npos ? 1 : std::stoi(word.substr(star + 1));
      record.bytes.insert(record.bytes.end(), count, static_cast<unsigned char>(std::stoul(word, nullptr, 16)));
    } else {
      unsigned port = 0;
      unsigned data = 0;
      unsigned long long time = 0;
      EXPECT_EQ(std::sscanf(word.c_str(), "%u,%i,%lli", &port, &data, &time), 3) << text;
      record.items.push_back({static_cast<unsigned char>(port), static_cast<unsigned char>(data), time});
    }
  }
}

std::vector<Record> Records() {
  std::ifstream in(NYX_SOURCE_DIR "/tests/data/sonar/zep_messages.txt");
  std::vector<Record> records;
  std::string text;
  while (std::getline(in, text)) {
    if (text.empty() || text[0] == '#') continue;
    if (text[0] != ' ') records.emplace_back();
    Parse(records.back(), text);
  }
  return records;
}

std::vector<unsigned char> Raw(const unsigned char* bytes, std::size_t length) {
  return std::vector<unsigned char>(bytes, bytes + length);
}

}  // namespace

TEST(ZepMessages, BytesBesideTheirFields) {
  const auto records = Records();
  ASSERT_GT(records.size(), 20u);
  for (const Record& r : records) {
    const auto& f = r.fields;
    const auto& raw = r.bytes;
    if (r.kind == "byte") {
      const auto parsed = SERIAL_BYTE_PACKET::FromBytes(raw.data());
      EXPECT_EQ(std::make_tuple(parsed.Port(), parsed.Data(), parsed.TimeUs(), parsed.IsPpsEdge()),
                std::make_tuple(f[0], f[1], f[2], f[0] == 0xFF)) << r.text;
      const auto made = SERIAL_BYTE_PACKET::Make(f[0], f[1], f[2]);
      EXPECT_EQ(Raw(made.m_raw, sizeof made.m_raw), raw) << r.text;
    } else if (r.kind == "items") {
      const auto msg = CZepNetMsg::FromBytes(raw.data(), static_cast<int>(raw.size()));
      EXPECT_EQ(msg.Items(static_cast<int>(f[0])), r.items) << r.text;
    } else if (r.kind == "build") {
      auto builder = f[0] == 1 ? CZepNetMsgBuilder::Type1(f[1]) : CZepNetMsgBuilder::Type2(f[1], f[2], f[3] != 0);
      for (const auto& item : r.items) ASSERT_TRUE(builder.Add(item.data, item.timeUs)) << r.text;
      ASSERT_EQ(builder.Length(), static_cast<int>(raw.size())) << r.text;
      const CZepNetMsg msg = builder.Msg();
      EXPECT_EQ(Raw(msg.Bytes(), raw.size()), raw) << r.text;
      EXPECT_EQ(msg.Items(builder.Length()), r.items) << r.text;
      EXPECT_EQ(std::make_tuple(msg.PortTag(), msg.Type(), msg.SonarId()), std::make_tuple(raw[0], f[0], f[1]));
      EXPECT_EQ(msg.TimeStamped(), f[0] == 2 && f[3] != 0) << r.text;
    } else if (r.kind == "status" || r.kind == "status-made") {
      const auto packet = CZepStatusPacket::FromBytes(raw.data(), f[5]);
      EXPECT_EQ(std::make_tuple(packet.SonarId(), packet.Kind(), packet.Flags(), packet.HasTimeSync(),
                                packet.TypeCode(), packet.SonarTimeUs()),
                std::make_tuple(f[0], f[1], f[2], (f[2] & 1) != 0, f[3], f[4])) << r.text;
      EXPECT_EQ(Raw(packet.Bytes(), f[5]), Raw(raw.data(), f[5])) << r.text;
      if (r.kind == "status-made") {
        EXPECT_EQ(Raw(CZepStatusPacket::Make(f[0], f[1], f[2], f[3], f[4]).Bytes(), 64), raw) << r.text;
      }
    } else if (r.kind == "ping") {
      const auto head = CZepPingHead::FromBytes(raw.data(), raw.size());
      EXPECT_EQ(std::make_tuple(head.SonarId(), head.PingTimeUs()), std::make_tuple(f[0], f[1]));
      EXPECT_EQ(Raw(CZepPingHead::Make(f[0], f[1]).Bytes(), raw.size()), raw);
    } else if (r.kind == "dmg") {
      const auto data = CZepDMGData::FromBytes(raw.data(), raw.size());
      EXPECT_EQ(std::make_tuple(data.SonarId(), data.TimeUs()), std::make_tuple(f[0], f[1]));
      EXPECT_EQ(Raw(CZepDMGData::Make(f[0], f[1]).Bytes(), raw.size()), raw);
    } else {
      ADD_FAILURE() << "unknown record: " << r.text;
    }
  }
  // Only the low 48 bits of a time are kept; a packet read from nothing is zero.
  EXPECT_EQ(SERIAL_BYTE_PACKET::Make(1, 2, 0x0123456789ABCDEFull).TimeUs(), 0x456789ABCDEFull);
  EXPECT_EQ(CZepStatusPacket::FromBytes(nullptr, 64).SonarId(), 0);
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
    const CZepNetMsg full = c.builder.Msg();
    EXPECT_EQ(full.Items(c.builder.Length()).size(), static_cast<std::size_t>(c.capacity));
    // A length beyond the capacity reads only the capacity.
    std::vector<unsigned char> raw(full.Bytes(), full.Bytes() + CZepNetMsg::kCapacity);
    raw.resize(CZepNetMsg::kCapacity + 100, 0x55);
    const auto msg = CZepNetMsg::FromBytes(raw.data(), static_cast<int>(raw.size()));
    EXPECT_EQ(msg.Items(static_cast<int>(raw.size())).size(), static_cast<std::size_t>(c.capacity));
  }
}
