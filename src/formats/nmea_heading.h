// True heading from the standard NMEA heading sentences of any talker (gyro
// and GPS compasses send HDT, magnetic compasses HDG). A checksum, when
// present, must match.
#pragma once

#include <string>

#include "formats/nmea_sentence.h"
#include "port/codec.h"

// Heading, true, and heading from a magnetic sensor.
//   $HEHDT,274.07,T*19                 heading true, T
//   $HCHDG,98.3,0.0,E,12.6,W*57        sensor heading, deviation, E/W, variation, E/W
// CSnsrGyro (2). HDG: true = sensor + deviation + variation (east positive);
// an empty deviation counts as 0, and without a variation there is no record.
class CSD_NMEA_Heading : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_NMEA_Heading)
 public:
  CSD_NMEA_Heading();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

SentenceOutcome DecodeHdt(NmeaSentence& sentence, double time, int bank);
SentenceOutcome DecodeHdg(NmeaSentence& sentence, double time, int bank);
