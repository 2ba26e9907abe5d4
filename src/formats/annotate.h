// Free annotation text: every line is passed on as it came.
#pragma once

#include <string>

#include "port/codec.h"

// Any text; a CSnsrInf of type 16 (kind 16) with the line.
//   "Start of line 42"
class CSD_ANNOTATE : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_ANNOTATE)
 public:
  CSD_ANNOTATE();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
