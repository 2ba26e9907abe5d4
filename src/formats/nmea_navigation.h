// Position, course and speed from the standard NMEA navigation sentences of
// any talker. A checksum, when present, must match.
#pragma once

#include <string>

#include "formats/nmea_sentence.h"
#include "port/codec.h"

// Recommended minimum data.
//   $GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A
//   time hhmmss.ss, status A/V, lat ddmm.mmmm, N/S, lon dddmm.mmmm, E/W,
//   speed knots, course true, date ddmmyy, magnetic variation, E/W[, mode]
// Status A: CSnsrPos (1), CSnsrVTG (10) and CSnsrTime (7); the time never
// synchronises a clock.
class CSD_NMEA_RMC : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NMEA_RMC)
 public:
  CSD_NMEA_RMC();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Geographic position.
//   $GPGLL,4916.45,N,12311.12,W,225444,A,*1D
//   lat, N/S, lon, E/W, time hhmmss.ss, status A/V[, mode]
// Status A: CSnsrPos (1).
class CSD_NMEA_GLL : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NMEA_GLL)
 public:
  CSD_NMEA_GLL();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Course and speed over ground.
//   $GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48
//   course true, T, course magnetic, M, knots, N, km/h, K[, mode]
//   (early receivers: course true, course magnetic, knots, km/h)
// CSnsrVTG (10).
class CSD_NMEA_VTG : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NMEA_VTG)
 public:
  CSD_NMEA_VTG();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

SentenceOutcome DecodeRmc(NmeaSentence& sentence, double time, int bank);
SentenceOutcome DecodeGll(NmeaSentence& sentence, double time, int bank);
SentenceOutcome DecodeVtg(NmeaSentence& sentence, double time, int bank);
