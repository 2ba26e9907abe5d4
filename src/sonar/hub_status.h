// One hub heard on the network, as its latest status message describes it.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct HubStatusFields;

struct CZepHubStatus {
  explicit CZepHubStatus(std::uint16_t id = 0);

  // Takes the fields of a status message heard at tick (milliseconds).
  void Update(const HubStatusFields& fields, std::uint32_t tick);
  // The status line of the hub at list position (0-based).
  std::string StatusLine(int position) const;

  std::uint16_t m_version = 0;
  std::uint16_t m_word24 = 0;
  std::uint16_t m_id = 0;
  double m_sensor1 = 0.0;
  double m_temperature1 = 0.0;
  double m_sensor2 = 0.0;
  double m_temperature2 = 0.0;
  std::array<std::uint16_t, 3> m_linkStatus{};
  std::array<int, 3> m_linkSpeed{};
  std::uint32_t m_messageCount = 0;
  std::uint32_t m_altIp = 0;  // first octet in the most significant byte
  std::uint32_t m_word20 = 0;
  std::uint32_t m_altMask = 0xFFFFFF00;
  std::array<std::uint16_t, 3> m_words72{};
  std::uint32_t m_word52 = 0;
  std::uint32_t m_lastHeard = 0;  // tick count, milliseconds
  // Shown in the status line only.
  bool m_sensor1Valid = false;
  std::uint16_t m_supplyCentivolts = 0;
  std::array<unsigned char, 4> m_fixedIp{};  // as the bytes travel
};

// Milliseconds on the host's monotonic clock, wrapping as a 32-bit tick count
// does; the injectable host clock drives it, so tests move it by hand.
std::uint32_t HubTickCount();
