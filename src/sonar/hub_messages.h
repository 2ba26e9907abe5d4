// Messages of the sonar hub as the library hands them to the hub handler,
// byte-exact and little-endian. Every message carries the sending hub's device
// identifier as u16 at offset 2. Builders give the bytes a hub sends (the
// simulator uses them); readers take the fields the hub window uses.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sonar/zep_messages.h"

enum HubMessageKind : int {
  kHubStatusKind = 100,
  kHubDataKind = 101,
  kHubSerialAckKind = 102,
  kHubSerialStatusKind = 103,
};

inline constexpr int kHubIdAt = 2;

// Kind 100, sent by every hub about once a second.
//   8 version u16 | 10 hub id u16 | 12..15 fixed IP (shown 15.14.13.12)
//   16 alt IP u32 | 20 u32 | 24 u16 | 26 supply voltage u16 (1/100 V)
//   32 temperature word | 36 sensor word | 38 device time u64 (microseconds)
//   48 alt subnet mask u32 | 52 u32 | 58 temperature word | 60 sensor word
//   62, 64, 66 link status words | 72, 74, 76 u16
struct HubStatusFields {
  static constexpr int kSize = 78;

  std::uint16_t version = 0;
  std::uint16_t hubId = 0;
  std::array<unsigned char, 4> fixedIp{};  // bytes 12..15 as they travel
  std::uint32_t altIp = 0;                 // first octet in the most significant byte
  std::uint32_t word20 = 0;
  std::uint16_t word24 = 0;
  std::uint16_t supplyCentivolts = 0;
  std::uint16_t temperature1 = 0;
  std::uint16_t sensor1 = 0;
  std::uint64_t deviceTimeUs = 0;
  std::uint32_t altMask = 0;
  std::uint32_t word52 = 0;
  std::uint16_t temperature2 = 0;
  std::uint16_t sensor2 = 0;
  std::array<std::uint16_t, 3> linkStatus{};
  std::array<std::uint16_t, 3> words72{};

  bool operator==(const HubStatusFields&) const = default;
};

// Kind 101: serial bytes and pulse edges taken by the hub.
//   10 item count u16 | items from 16, 8 bytes each (SERIAL_BYTE_PACKET layout,
//   port byte 0..7 or 0xFF for a pulse edge)
inline constexpr int kHubDataItemsAt = 16;

// Kind 102: the hub's answer to a serial command.
//   10 sequence u16 | 12 status u16 (0..4; 2 asks for a retry)
struct HubSerialAck {
  static constexpr int kSize = 14;
  std::uint16_t sequence = 0;
  std::uint16_t status = 0;
};

std::uint16_t HubMessageId(const unsigned char* message);

std::vector<unsigned char> BuildHubStatus(std::uint16_t deviceId, const HubStatusFields& fields);
// False when the message is shorter than a status message.
bool ReadHubStatus(const unsigned char* message, int length, HubStatusFields& fields);

std::vector<unsigned char> BuildHubData(std::uint16_t deviceId, const std::vector<SERIAL_BYTE_PACKET>& items);
// The items the message holds: its count, but never beyond the delivered length.
std::vector<SERIAL_BYTE_PACKET> ReadHubData(const unsigned char* message, int length);

std::vector<unsigned char> BuildHubSerialAck(std::uint16_t deviceId, const HubSerialAck& ack);
bool ReadHubSerialAck(const unsigned char* message, int length, HubSerialAck& ack);

// Word decodings of the status message.
double HubTemperature(std::uint16_t word);    // degrees Celsius
bool HubSensorValid(std::uint16_t word);      // bit 15
double HubSensorValue(std::uint16_t word);    // 0 when not valid
int HubLinkSpeed(std::uint16_t word);         // Mbit/s; 0 when the link is down
