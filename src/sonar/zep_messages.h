// Messages of the sonar library, byte-exact: each type holds the raw bytes as
// they travel (little-endian) and reads or writes its fields at fixed offsets.
// Only the fields the module uses are named; every other byte is zero when we
// build a message and ignored when we read one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Device clocks count microseconds in 48 bits.
inline constexpr std::uint64_t kDeviceTimeMask = (std::uint64_t{1} << 48) - 1;

// One received byte of a sonar or hub serial port.
//   00 | 01 | 02..05         | 06..07
//   port code | data byte | time low u32 | time high u16   (microseconds)
// Port code 2k + j is sonar slot k, serial index j; 0xFF marks a
// pulse-per-second edge whose data byte is the edge code.
struct SERIAL_BYTE_PACKET {
  static constexpr std::size_t kSize = 8;
  static constexpr unsigned char kPpsPort = 0xFF;

  static SERIAL_BYTE_PACKET Make(unsigned char port, unsigned char data, std::uint64_t timeUs);
  static SERIAL_BYTE_PACKET FromBytes(const unsigned char* bytes);

  unsigned char Port() const { return m_raw[0]; }
  unsigned char Data() const { return m_raw[1]; }
  std::uint64_t TimeUs() const;
  bool IsPpsEdge() const { return Port() == kPpsPort; }

  unsigned char m_raw[kSize] = {};
};
static_assert(sizeof(SERIAL_BYTE_PACKET) == SERIAL_BYTE_PACKET::kSize);

// One byte taken from a serial-data message: which of the sonar's serial ports
// it came from, the byte, and its device time (0 when the message carries none).
struct ZepSerialItem {
  unsigned char serialIndex = 0;
  unsigned char data = 0;
  std::uint64_t timeUs = 0;
  bool operator==(const ZepSerialItem&) const = default;
};

// Serial data of a sonar head. The library hands over the message and its
// length; the object has room for the largest message a head sends (one UDP
// payload) and a shorter message leaves the rest unused.
//   0 port tag ('H' first serial port, anything else the second)
//   1 type (1 or 2)   2..3 sonar id
//   type 1: items from 8, 8 bytes each, always the first serial port
//   type 2: 8 flags (bit 0 time-stamped), items from 10, 8 bytes each when
//           time-stamped, else 2 bytes
//   8-byte item: 0..3 time low u32, 4..5 time high u16, 6 unused, 7 data
//   2-byte item: 0 data, 1 unused
class CZepNetMsg {
 public:
  static constexpr int kCapacity = 1472;
  static constexpr unsigned char kFirstPortTag = 'H';
  static constexpr unsigned char kSecondPortTag = 'I';
  static constexpr int kType1ItemsAt = 8;
  static constexpr int kType2ItemsAt = 10;
  static constexpr int kStampedItemSize = 8;
  static constexpr int kPlainItemSize = 2;

  // A copy of `length` raw bytes (at most kCapacity; the rest stays zero).
  static CZepNetMsg FromBytes(const unsigned char* bytes, int length);

  unsigned char PortTag() const { return m_raw[0]; }
  unsigned char Type() const { return m_raw[1]; }
  std::uint16_t SonarId() const;
  unsigned char Flags() const { return m_raw[8]; }
  bool TimeStamped() const { return (Flags() & 1) != 0; }

  // The items of a message of `length` bytes, in order. None for a type other
  // than 1 or 2 or a length too short for one item; a trailing partial item is
  // not read. Lengths beyond the capacity are taken as the capacity.
  std::vector<ZepSerialItem> Items(int length) const;

  const unsigned char* Bytes() const { return m_raw; }
  unsigned char* Bytes() { return m_raw; }

 private:
  unsigned char m_raw[kCapacity] = {};
};
static_assert(sizeof(CZepNetMsg) == CZepNetMsg::kCapacity);

// Fills a serial-data message item by item.
class CZepNetMsgBuilder {
 public:
  // Type 1: the first serial port, every item time-stamped.
  static CZepNetMsgBuilder Type1(std::uint16_t sonarId);
  // Type 2 for serial index 0 or 1, with or without time stamps.
  static CZepNetMsgBuilder Type2(std::uint16_t sonarId, int serialIndex, bool timeStamped);

  // False, and nothing added, when the message is full.
  bool Add(unsigned char data, std::uint64_t timeUs = 0);
  int ItemCount() const { return m_count; }
  int Capacity() const;
  int Length() const { return m_itemsAt + m_count * m_itemSize; }
  const CZepNetMsg& Msg() const { return m_msg; }

 private:
  CZepNetMsgBuilder(int itemsAt, int itemSize) : m_itemsAt(itemsAt), m_itemSize(itemSize) {}

  CZepNetMsg m_msg;
  int m_itemsAt;
  int m_itemSize;
  int m_count = 0;
};

// A sonar head's status packet.
//   2..3 sonar id (0: none)   7 kind (0 and 2 are status)
//   24 flags (bit 0: carries a time-sync sample)   25 sonar type code
//   48..55 sonar time, microseconds
class CZepStatusPacket {
 public:
  static constexpr std::size_t kSize = 64;
  static constexpr unsigned char kTimeSyncFlag = 0x01;

  static CZepStatusPacket Make(std::uint16_t sonarId, unsigned char kind, unsigned char flags,
                               unsigned char typeCode, std::uint64_t sonarTimeUs);
  static CZepStatusPacket FromBytes(const unsigned char* bytes, std::size_t length);

  std::uint16_t SonarId() const;
  unsigned char Kind() const { return m_raw[7]; }
  unsigned char Flags() const { return m_raw[24]; }
  bool HasTimeSync() const { return (Flags() & kTimeSyncFlag) != 0; }
  unsigned char TypeCode() const { return m_raw[25]; }
  std::uint64_t SonarTimeUs() const;

  const unsigned char* Bytes() const { return m_raw; }

 private:
  unsigned char m_raw[kSize] = {};
};
static_assert(sizeof(CZepStatusPacket) == CZepStatusPacket::kSize);

// The head of a ping record.
//   2..3 sonar id   12..19 ping time, microseconds
class CZepPingHead {
 public:
  static constexpr std::size_t kSize = 20;

  static CZepPingHead Make(std::uint16_t sonarId, std::uint64_t pingTimeUs);
  static CZepPingHead FromBytes(const unsigned char* bytes, std::size_t length);

  std::uint16_t SonarId() const;
  std::uint64_t PingTimeUs() const;
  const unsigned char* Bytes() const { return m_raw; }

 private:
  unsigned char m_raw[kSize] = {};
};
static_assert(sizeof(CZepPingHead) == CZepPingHead::kSize);

// A DMG data record.
//   2..3 sonar id   20..27 time, microseconds
class CZepDMGData {
 public:
  static constexpr std::size_t kSize = 28;

  static CZepDMGData Make(std::uint16_t sonarId, std::uint64_t timeUs);
  static CZepDMGData FromBytes(const unsigned char* bytes, std::size_t length);

  std::uint16_t SonarId() const;
  std::uint64_t TimeUs() const;
  const unsigned char* Bytes() const { return m_raw; }

 private:
  unsigned char m_raw[kSize] = {};
};
static_assert(sizeof(CZepDMGData) == CZepDMGData::kSize);
