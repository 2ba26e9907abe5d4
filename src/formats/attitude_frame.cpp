#include "formats/attitude_frame.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr unsigned char kFrameMark = 0x90;

std::uint16_t Word(const unsigned char* low) { return static_cast<std::uint16_t>(low[0] | (low[1] << 8)); }

}  // namespace

int AttitudeFrameSearch::NewByte(double time, unsigned char byte, std::string& msg, double& msgTime) {
  Store(time, byte);
  return Search(msg, msgTime);
}

void AttitudeFrameSearch::Store(double time, unsigned char byte) {
  m_bytes[static_cast<std::size_t>(m_count)] = byte;
  m_times[static_cast<std::size_t>(m_count)] = time;
  if (++m_count == kWindow) m_count = 0;
}

int AttitudeFrameSearch::Search(std::string& msg, double& msgTime) {
  if (m_count < kFrameSize) return 0;
  const std::size_t first = static_cast<std::size_t>(m_count - kFrameSize);
  const unsigned char* frame = &m_bytes[first];
  if (frame[0] != kFrameMark || frame[1] != kFrameMark) return 0;

  const auto roll = static_cast<std::int16_t>(Word(frame + 2));
  const auto pitch = static_cast<std::int16_t>(Word(frame + 4));
  const auto heave = static_cast<std::int16_t>(Word(frame + 6));
  const unsigned heading = Word(frame + 8);
  char text[48];
  std::snprintf(text, sizeof text, "%d,%d,%d,%u", roll, pitch, heave, heading);
  msg = text;
  msgTime = m_times[first];
  m_count = 0;
  return 1;
}
