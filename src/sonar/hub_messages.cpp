#include "sonar/hub_messages.h"

#include <algorithm>
#include <cstring>

#include "sonar/little_endian.h"

namespace {

using LittleEndian::PutU16;
using LittleEndian::PutU32;
using LittleEndian::PutU64;
using LittleEndian::U16;
using LittleEndian::U32;
using LittleEndian::U64;

// The library hands the kind beside the message; the bytes carry only the
// sender's identifier in their head, and every unnamed byte stays zero.
std::vector<unsigned char> Header(std::size_t size, std::uint16_t deviceId) {
  std::vector<unsigned char> bytes(size, 0);
  PutU16(bytes.data() + kHubIdAt, deviceId);
  return bytes;
}

}  // namespace

std::uint16_t HubMessageId(const unsigned char* message) { return U16(message + kHubIdAt); }

std::vector<unsigned char> BuildHubStatus(std::uint16_t deviceId, const HubStatusFields& f) {
  auto bytes = Header(HubStatusFields::kSize, deviceId);
  unsigned char* m = bytes.data();
  PutU16(m + 8, f.version);
  PutU16(m + 10, f.hubId);
  std::copy(f.fixedIp.begin(), f.fixedIp.end(), m + 12);
  PutU32(m + 16, f.altIp);
  PutU32(m + 20, f.word20);
  PutU16(m + 24, f.word24);
  PutU16(m + 26, f.supplyCentivolts);
  PutU16(m + 32, f.temperature1);
  PutU16(m + 36, f.sensor1);
  PutU64(m + 38, f.deviceTimeUs);
  PutU32(m + 48, f.altMask);
  PutU32(m + 52, f.word52);
  PutU16(m + 58, f.temperature2);
  PutU16(m + 60, f.sensor2);
  for (int i = 0; i < 3; ++i) PutU16(m + 62 + 2 * i, f.linkStatus[i]);
  for (int i = 0; i < 3; ++i) PutU16(m + 72 + 2 * i, f.words72[i]);
  return bytes;
}

bool ReadHubStatus(const unsigned char* m, int length, HubStatusFields& f) {
  if (m == nullptr || length < HubStatusFields::kSize) return false;
  f.version = U16(m + 8);
  f.hubId = U16(m + 10);
  std::copy(m + 12, m + 16, f.fixedIp.begin());
  f.altIp = U32(m + 16);
  f.word20 = U32(m + 20);
  f.word24 = U16(m + 24);
  f.supplyCentivolts = U16(m + 26);
  f.temperature1 = U16(m + 32);
  f.sensor1 = U16(m + 36);
  f.deviceTimeUs = U64(m + 38);
  f.altMask = U32(m + 48);
  f.word52 = U32(m + 52);
  f.temperature2 = U16(m + 58);
  f.sensor2 = U16(m + 60);
  for (int i = 0; i < 3; ++i) f.linkStatus[i] = U16(m + 62 + 2 * i);
  for (int i = 0; i < 3; ++i) f.words72[i] = U16(m + 72 + 2 * i);
  return true;
}

std::vector<unsigned char> BuildHubData(std::uint16_t deviceId, const std::vector<SERIAL_BYTE_PACKET>& items) {
  const std::size_t count = std::min<std::size_t>(items.size(), 0xFFFF);
  auto bytes = Header(kHubDataItemsAt + count * SERIAL_BYTE_PACKET::kSize, deviceId);
  PutU16(bytes.data() + 10, static_cast<std::uint16_t>(count));
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(bytes.data() + kHubDataItemsAt + i * SERIAL_BYTE_PACKET::kSize, items[i].m_raw,
                SERIAL_BYTE_PACKET::kSize);
  }
  return bytes;
}

std::vector<SERIAL_BYTE_PACKET> ReadHubData(const unsigned char* message, int length) {
  std::vector<SERIAL_BYTE_PACKET> items;
  if (message == nullptr || length < kHubDataItemsAt) return items;
  const int room = (length - kHubDataItemsAt) / static_cast<int>(SERIAL_BYTE_PACKET::kSize);
  const int count = std::min<int>(U16(message + 10), room);
  items.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    items.push_back(SERIAL_BYTE_PACKET::FromBytes(message + kHubDataItemsAt + i * SERIAL_BYTE_PACKET::kSize));
  }
  return items;
}

std::vector<unsigned char> BuildHubSerialAck(std::uint16_t deviceId, const HubSerialAck& ack) {
  auto bytes = Header(HubSerialAck::kSize, deviceId);
  PutU16(bytes.data() + 10, ack.sequence);
  PutU16(bytes.data() + 12, ack.status);
  return bytes;
}

bool ReadHubSerialAck(const unsigned char* message, int length, HubSerialAck& ack) {
  if (message == nullptr || length < HubSerialAck::kSize) return false;
  ack.sequence = U16(message + 10);
  ack.status = U16(message + 12);
  return true;
}

double HubTemperature(std::uint16_t word) { return word * 503.975 / 1024.0 - 273.15; }

bool HubSensorValid(std::uint16_t word) { return (word & 0x8000u) != 0; }

double HubSensorValue(std::uint16_t word) {
  if (!HubSensorValid(word)) return 0.0;
  int value = word & 0x3FF;
  if ((value & 0x200) != 0) value -= 0x400;  // ten-bit two's complement
  return value * 0.25;
}

int HubLinkSpeed(std::uint16_t word) {
  if ((word & 0x800u) == 0) return 0;
  static constexpr int kSpeeds[4] = {10, 100, 1000, 0};
  return kSpeeds[(word >> 8) & 3];
}
