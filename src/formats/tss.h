// Motion and heading from TSS-style sensors: the TSS 1 fixed-column line (with
// or without heave), the same line interleaved with an NMEA heading, the TSS 2
// line and the NMEA heading sentence alone. No checksum is read or verified.
#pragma once

#include <string>

#include "port/codec.h"

// TSS 1, 25 characters (a trailing CR makes 26; the port removed the LF).
//   :0A0E09 -0150F 0123  0456
//   col 0 ':', 1-6 accelerations, 8-12 heave cm, 13 status, 14-18 roll and
//   20-24 pitch in 1/100 degree; a blank sign column reads as positive.
class CSD_TSS1 : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_TSS1)
 public:
  CSD_TSS1();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// TSS 1 for sensors whose heave is not wanted: roll and pitch only.
class CSD_TSS1NOH : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_TSS1NOH)
 public:
  CSD_TSS1NOH();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// TSS 1 lines (part 1) and heading sentences (part 2) on one port.
//   :0A0E09 -0150F 0123  0456
//   $HEHDT,123.4,T*2B
class CSD_TSS1_HEHDT : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_TSS1_HEHDT)
 public:
  CSD_TSS1_HEHDT();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// As TSS 1 + HEHDT, with the TSS 1 heave left out.
class CSD_TSS1NOH_HEHDT : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_TSS1NOH_HEHDT)
 public:
  CSD_TSS1NOH_HEHDT();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// TSS 2 (the Octans "Std 2" output), 25 characters (+ CR).
//   :12345 -0150H 0123 -0456F
//   col 1-5 heading 1/100 degree, 7-11 heave cm, 12 heave status (H nominal,
//   h aligning), 13-17 roll and 19-23 pitch 1/100 degree, 24 heading status
//   (A alarm, F nominal, f aligning).
class CSD_TSS2 : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_TSS2)
 public:
  CSD_TSS2();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// NMEA true heading; the T letter and the checksum are not looked at.
//   $HEHDT,123.4,T*2B
//   heading in degrees
class CSD_HEHDT : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_HEHDT)
 public:
  CSD_HEHDT();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
