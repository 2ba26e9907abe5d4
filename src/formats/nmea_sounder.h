// Depth and water temperature from the standard NMEA sentences of echo
// sounders and temperature probes, any talker. A checksum, when present, must
// match.
#pragma once

#include <string>

#include "formats/nmea_sentence.h"
#include "port/codec.h"

// Depth below the transducer, and depth with the transducer's offset.
//   $SDDBT,7.7,f,2.3,M,1.3,F*05        feet, f, metres, M, fathoms, F
//   $SDDPT,5.3,0.4,*79                 metres below the transducer, offset[, range]
// CSnsrAlt (8) in metres below the transducer: DBT's metres, else its feet,
// else its fathoms; DPT's first field (the offset is not applied).
class CSD_NMEA_Depth : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NMEA_Depth)
 public:
  CSD_NMEA_Depth();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Water temperature.
//   $YXMTW,17.8,C*1C                   degrees, C
// CSnsrTmp (17) in degrees Celsius.
class CSD_NMEA_MTW : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NMEA_MTW)
 public:
  CSD_NMEA_MTW();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

SentenceOutcome DecodeDbt(NmeaSentence& sentence, double time, int bank);
SentenceOutcome DecodeDpt(NmeaSentence& sentence, double time, int bank);
SentenceOutcome DecodeMtw(NmeaSentence& sentence, double time, int bank);
