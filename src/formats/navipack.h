// Navi-Pack: position, heading and attitude of one of several sensors in one
// sentence. No checksum is read.
#pragma once

#include <string>

#include "port/codec.h"

//   $G3,1523.40,-82.75,12.50,123.4,1.25,-0.50
//   sensor n, x, y, z, heading, pitch, roll
// Sensor n reports on bank (port bank + n) mod 256, so several sensors on one
// line land in consecutive banks.
class CSD_NaviPack : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NaviPack)
 public:
  CSD_NaviPack();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
