// Depth transducers: the Digiquartz pressure-depth reading and the Sonadyne
// depth sentence. Both give a CSnsrZ (kind 4).
#pragma once

#include <cstdint>
#include <string>

#include "port/codec.h"

class CArchive;

// Digiquartz: a five-character address, then the reading.
//   *0001 12.345
//   cols 0-4 address (dropped from the displayed text), rest reading
// depth = reading * scale + offset.
class CSD_Digi : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_Digi)
 public:
  CSD_Digi();
  int DecodeMsg(double time, std::string& msg, int bank) override;
  // Scale, offset and the spare word, in that order; only a host that
  // serialises the decoder ever changes scale and offset.
  virtual void Serialize(CArchive& ar);

  double m_scale = 1.0;
  double m_offset = 0.0;
  std::int32_t m_spare = 0;
};

// Sonadyne depth.
//   $SONDEP,1234,0,C*hh      depth, (unused), unit C = centimetres
//   $SONDEP,12.3,,M*hh       M = metres; the second field may be empty
class CSD_Sondepth : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_Sondepth)
 public:
  CSD_Sondepth();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
