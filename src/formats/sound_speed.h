// Sound-velocity probes. Both give a CSnsrSOS (kind 6) in m/s; a speed of 1.0
// or less is taken as no reading.
#pragma once

#include <string>

#include "port/codec.h"

// AML Smart SVP: two numbers separated by white space.
//   12.5 1500.25             (not used), speed of sound
// When its port is enabled it wakes the probe with CR CR M CR.
class CSD_AML_SVP : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_AML_SVP)
 public:
  CSD_AML_SVP();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  void Enable(int on) override;
};

// Speed of Sound: one number, blanks allowed around it.
//   " 1498.72 "
class CSD_SOS : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_SOS)
 public:
  CSD_SOS();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
