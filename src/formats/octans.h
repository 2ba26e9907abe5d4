// Octans attitude and heading unit: NMEA heading and the proprietary status,
// attitude, linear motion and speed sentences. Each decoder takes a subset and
// numbers its sentences as message parts; the heading (or the only sentence)
// is part 1 and closes the cycle. A sentence needs its '*' and at least one
// checksum character to count as complete; the checksum is never verified.
//
//   $HEHDT,90.0,T*16                     heading deg
//   $PHINF,00000000*75                   status word (hex), otherwise ignored
//   $PHTRH,1.50,P,2.25,B,0.10,O*15       pitch, letter, roll, letter, heave m, letter
//   $PHTRO,1.50,P,2.25,B*42              pitch, letter, roll, letter
//   $PHLIN,0.10,-0.20,0.30*4C            surge, sway, heave m
//   $PHSPD,1.0,0.0,0.0*5C                surge, sway, heave speed m/s
// Letters P (pitch), B (roll) and O (heave) make the value negative.
#pragma once

#include <string>

#include "port/codec.h"

// What the decoders that combine sentences remember between them.
struct OctansAttitude {
  double heading = 0.0;  // degrees, from the last HEHDT
  double roll = 0.0;     // degrees, from the last PHTRO
  double pitch = 0.0;
};

// Every sentence: HEHDT 1, PHINF 2, PHTRH 3, PHTRO 4, PHLIN 5, PHSPD 6.
class CSD_OctansAll : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_OctansAll)
 public:
  CSD_OctansAll();
  int DecodeMsg(double time, std::string& msg, int bank) override;

 private:
  OctansAttitude m_last;
};

// Gyro and attitude: PHINF 2, HEHDT 1, PHTRH 3.
class CSD_OctansGHPR : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_OctansGHPR)
 public:
  CSD_OctansGHPR();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Heading with status: PHINF 2, HEHDT 1.
class CSD_OctansHead : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_OctansHead)
 public:
  CSD_OctansHead();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Attitude with heave: PHTRH 1.
class CSD_OctansHPR : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_OctansHPR)
 public:
  CSD_OctansHPR();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Linear motion: HEHDT 1 (kept for PHSPD, not sent), PHLIN 2, PHSPD 3.
// Nothing here sets roll or pitch, so its PHLIN records carry 0 for both.
class CSD_OctansLinear : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_OctansLinear)
 public:
  CSD_OctansLinear();
  int DecodeMsg(double time, std::string& msg, int bank) override;

 private:
  OctansAttitude m_last;
};

// Attitude without heave: PHTRO 1.
class CSD_OctansPR : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_OctansPR)
 public:
  CSD_OctansPR();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
