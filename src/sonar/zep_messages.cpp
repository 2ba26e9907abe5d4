#include "sonar/zep_messages.h"

#include <algorithm>
#include <cstring>

#include "sonar/little_endian.h"

namespace {

// A 48-bit time stamp as a low word and a high half-word.
void PutTime48(unsigned char* at, std::uint64_t timeUs) {
  LittleEndian::PutU32(at, static_cast<std::uint32_t>(timeUs & 0xFFFFFFFFu));
  LittleEndian::PutU16(at + 4, static_cast<std::uint16_t>((timeUs >> 32) & 0xFFFFu));
}

std::uint64_t Time48(const unsigned char* at) {
  return LittleEndian::U32(at) | (std::uint64_t{LittleEndian::U16(at + 4)} << 32);
}

// Copies what the caller has of a fixed-size message; a short copy leaves zeros.
template <std::size_t N>
void CopyIn(unsigned char (&raw)[N], const unsigned char* bytes, std::size_t length) {
  if (bytes != nullptr) std::memcpy(raw, bytes, std::min(length, N));
}

}  // namespace

SERIAL_BYTE_PACKET SERIAL_BYTE_PACKET::Make(unsigned char port, unsigned char data, std::uint64_t timeUs) {
  SERIAL_BYTE_PACKET packet;
  packet.m_raw[0] = port;
  packet.m_raw[1] = data;
  PutTime48(packet.m_raw + 2, timeUs);
  return packet;
}

SERIAL_BYTE_PACKET SERIAL_BYTE_PACKET::FromBytes(const unsigned char* bytes) {
  SERIAL_BYTE_PACKET packet;
  std::memcpy(packet.m_raw, bytes, kSize);
  return packet;
}

std::uint64_t SERIAL_BYTE_PACKET::TimeUs() const { return Time48(m_raw + 2); }

CZepNetMsg CZepNetMsg::FromBytes(const unsigned char* bytes, int length) {
  CZepNetMsg msg;
  if (bytes != nullptr && length > 0) std::memcpy(msg.m_raw, bytes, std::min(length, kCapacity));
  return msg;
}

std::uint16_t CZepNetMsg::SonarId() const { return LittleEndian::U16(m_raw + 2); }

std::vector<ZepSerialItem> CZepNetMsg::Items(int length) const {
  std::vector<ZepSerialItem> items;
  length = std::min(length, kCapacity);
  int itemsAt = 0;
  int itemSize = kStampedItemSize;
  unsigned char serialIndex = 0;
  if (Type() == 1) {
    itemsAt = kType1ItemsAt;
  } else if (Type() == 2) {
    itemsAt = kType2ItemsAt;
    serialIndex = PortTag() == kFirstPortTag ? 0 : 1;
    if (!TimeStamped()) itemSize = kPlainItemSize;
  } else {
    return items;
  }
  const int count = (length - itemsAt) / itemSize;
  if (count <= 0) return items;
  items.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const unsigned char* item = m_raw + itemsAt + i * itemSize;
    if (itemSize == kStampedItemSize) {
      items.push_back({serialIndex, item[7], Time48(item)});
    } else {
      items.push_back({serialIndex, item[0], 0});
    }
  }
  return items;
}

CZepNetMsgBuilder CZepNetMsgBuilder::Type1(std::uint16_t sonarId) {
  CZepNetMsgBuilder builder(CZepNetMsg::kType1ItemsAt, CZepNetMsg::kStampedItemSize);
  unsigned char* raw = builder.m_msg.Bytes();
  raw[0] = CZepNetMsg::kFirstPortTag;
  raw[1] = 1;
  LittleEndian::PutU16(raw + 2, sonarId);
  return builder;
}

CZepNetMsgBuilder CZepNetMsgBuilder::Type2(std::uint16_t sonarId, int serialIndex, bool timeStamped) {
  CZepNetMsgBuilder builder(CZepNetMsg::kType2ItemsAt,
                            timeStamped ? CZepNetMsg::kStampedItemSize : CZepNetMsg::kPlainItemSize);
  unsigned char* raw = builder.m_msg.Bytes();
  raw[0] = serialIndex == 0 ? CZepNetMsg::kFirstPortTag : CZepNetMsg::kSecondPortTag;
  raw[1] = 2;
  LittleEndian::PutU16(raw + 2, sonarId);
  raw[8] = timeStamped ? 1 : 0;
  return builder;
}

int CZepNetMsgBuilder::Capacity() const { return (CZepNetMsg::kCapacity - m_itemsAt) / m_itemSize; }

bool CZepNetMsgBuilder::Add(unsigned char data, std::uint64_t timeUs) {
  if (m_count >= Capacity()) return false;
  unsigned char* item = m_msg.Bytes() + Length();
  if (m_itemSize == CZepNetMsg::kStampedItemSize) {
    PutTime48(item, timeUs & kDeviceTimeMask);
    item[7] = data;
  } else {
    item[0] = data;
  }
  ++m_count;
  return true;
}

CZepStatusPacket CZepStatusPacket::Make(std::uint16_t sonarId, unsigned char kind, unsigned char flags,
                                        unsigned char typeCode, std::uint64_t sonarTimeUs) {
  CZepStatusPacket packet;
  LittleEndian::PutU16(packet.m_raw + 2, sonarId);
  packet.m_raw[7] = kind;
  packet.m_raw[24] = flags;
  packet.m_raw[25] = typeCode;
  LittleEndian::PutU64(packet.m_raw + 48, sonarTimeUs);
  return packet;
}

CZepStatusPacket CZepStatusPacket::FromBytes(const unsigned char* bytes, std::size_t length) {
  CZepStatusPacket packet;
  CopyIn(packet.m_raw, bytes, length);
  return packet;
}

std::uint16_t CZepStatusPacket::SonarId() const { return LittleEndian::U16(m_raw + 2); }
std::uint64_t CZepStatusPacket::SonarTimeUs() const { return LittleEndian::U64(m_raw + 48); }

CZepPingHead CZepPingHead::Make(std::uint16_t sonarId, std::uint64_t pingTimeUs) {
  CZepPingHead head;
  LittleEndian::PutU16(head.m_raw + 2, sonarId);
  LittleEndian::PutU64(head.m_raw + 12, pingTimeUs);
  return head;
}

CZepPingHead CZepPingHead::FromBytes(const unsigned char* bytes, std::size_t length) {
  CZepPingHead head;
  CopyIn(head.m_raw, bytes, length);
  return head;
}

std::uint16_t CZepPingHead::SonarId() const { return LittleEndian::U16(m_raw + 2); }
std::uint64_t CZepPingHead::PingTimeUs() const { return LittleEndian::U64(m_raw + 12); }

CZepDMGData CZepDMGData::Make(std::uint16_t sonarId, std::uint64_t timeUs) {
  CZepDMGData data;
  LittleEndian::PutU16(data.m_raw + 2, sonarId);
  LittleEndian::PutU64(data.m_raw + 20, timeUs);
  return data;
}

CZepDMGData CZepDMGData::FromBytes(const unsigned char* bytes, std::size_t length) {
  CZepDMGData data;
  CopyIn(data.m_raw, bytes, length);
  return data;
}

std::uint16_t CZepDMGData::SonarId() const { return LittleEndian::U16(m_raw + 2); }
std::uint64_t CZepDMGData::TimeUs() const { return LittleEndian::U64(m_raw + 20); }
