// One byte received on a sonar's serial port, as the sonar side queues it for
// the serial comms window's trigger.
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct SERIAL_BYTE_PACKET {
  std::uint8_t m_port = 0;   // 2k + j for sonar slot k, serial index j; 255 = pulse-per-second edge
  std::uint8_t m_data = 0;   // the byte
  std::uint32_t m_timeLow = 0;   // time stamp, microseconds of sonar time, low 32 bits
  std::uint16_t m_timeHigh = 0;  // and high 16 bits

  std::uint64_t Time() const { return (static_cast<std::uint64_t>(m_timeHigh) << 32) | m_timeLow; }
};
#pragma pack(pop)

static_assert(sizeof(SERIAL_BYTE_PACKET) == 8);

// Port code of a pulse-per-second edge.
inline constexpr std::uint8_t kSerialPacketPps = 0xFF;
