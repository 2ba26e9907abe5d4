// Tilt, heading and attitude from CDL sensors. Angles are in degrees as sent,
// no scaling; no checksum is read.
#pragma once

#include <string>

#include "port/codec.h"

// Mini Tilt: exactly 16 characters once CR and LF are trimmed from both ends.
//   P+01.234R-02.345
//   col 0 'P', 1-7 pitch, 8 'R', 9-15 roll
// The trimmed text is what the port keeps as its last message.
class CSD_MiniTilt : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_MiniTilt)
 public:
  CSD_MiniTilt();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// CDL 1: heading, pitch and roll between the marker letters.
//   H123.4P-1.2R3.4T25.0
//   H heading P pitch R roll T (the text after T is not read)
class CSD_CDL1 : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_CDL1)
 public:
  CSD_CDL1();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
