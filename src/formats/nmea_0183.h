// One line that carries several NMEA sensors (a multiplexer, a chart
// plotter's output): every standard sentence the other NMEA decoders take,
// and GGA and ZDA of any talker.
#pragma once

#include <string>

#include "formats/nmea.h"
#include "port/codec.h"

// Sentences, one a line, in any order:
//   $GPGGA,...  $GPZDA,...  as "GPGGA + ZDA": position, time, clock synchronisation
//   $GPRMC,...  $ECGLL,...  $GPVTG,...  position, course and speed
//   $HEHDT,...  $HCHDG,...  heading
//   $SDDBT,...  $SDDPT,...  $YXMTW,...  depth, water temperature
//   e.g. $SDDBT,7.7,f,2.3,M,1.3,F*05
// A checksum, when present, must match (GGA and ZDA included).
//
// For the port only position fixes count: a GGA with a fix and an RMC or GLL
// with status A return 1, so the port's rate, data age and green light follow
// the fixes. Every other sentence that decodes hands over its records and
// returns -1, leaving rate, age and light alone; a malformed sentence turns the
// light red until the next fix. A line without position sentences therefore
// stays grey and raises its age alarm: such a sensor wants its own decoder.
class CSD_NMEA0183 : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NMEA0183)
 public:
  CSD_NMEA0183();
  int DecodeMsg(double time, std::string& msg, int bank) override;

 private:
  // Decodes GGA and ZDA, and keeps the ZDA synchronisation state, for this port.
  CSD_GPGGA_ZDA m_ggaZda;
};
