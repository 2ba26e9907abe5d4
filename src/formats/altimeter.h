// Altimeter and bathymetric markers. Both give a CSnsrMarker (kind 14); a zero
// reading means no bottom and is accepted without a record.
#pragma once

#include <string>

#include "port/codec.h"

// TSS Altimeter 1: exactly six characters.
//   " 12.34"                 col 0 (not read), cols 1-5 value as sent
class CSD_TSSAltimeter1 : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_TSSAltimeter1)
 public:
  CSD_TSSAltimeter1();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Ulvertech Bathy: exactly ten characters.
//   "B0001 1234"             cols 0-5 (not read), cols 6-9 value in hundredths
class CSD_UlvertechBathy : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_UlvertechBathy)
 public:
  CSD_UlvertechBathy();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
