// PSea instruments: an NMEA sensor set (depth, speed through water, water
// temperature) and a pressure sensor that answers a polled MEASURE request.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "port/codec.h"

// PSea Sensors, one sentence per line; no checksum is verified.
//   $SDDBT,41.3,f,12.6,M,6.9,F*hh    depth feet, f, metres, M, fathoms, F -> CSnsrAlt (8)
//   $VWVHW,,T,,M,5.0,N,9.3,K*hh      true hdg, T, mag hdg, M, knots, N, km/h, K -> CSnsrVTG (10)
//   $YXMTW,14.2,C*hh                 water temperature, C -> CSnsrTmp (17)
//   $SDDPT,12.6,0.4,0.0*hh           accepted, nothing sent
class CSD_PSea : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_PSea)
 public:
  CSD_PSea();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// PSea Pressure: the sensor answers a binary MEASURE request, sent on the
// trigger once the poll interval has passed, with a text reply ended by ';'.
//   MEASURE -P 10.1325 -PU bar -T 21.5 -TU °C OK
//   pressure, pressure unit, temperature, temperature unit, status word
class CSD_PSeaPressure : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_PSeaPressure)
 public:
  static constexpr std::size_t kRequestSize = 12;
  using Request = std::array<std::uint8_t, kRequestSize>;

  CSD_PSeaPressure();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  // Polls when more than the interval has passed since the last poll.
  void OnTrigger(double now, double dt) override;

  // Modbus CRC-16 (reflected 0xA001, start 0xFFFF, no final XOR).
  static std::uint16_t Crc16(const std::uint8_t* bytes, std::size_t count);
  // Address 0xF0, command 0x64, length 7, "MEASURE", CRC low byte first.
  static Request MeasureRequest();

  double m_lastPoll = 0.0;
  double m_pollInterval = 1.0;
};
