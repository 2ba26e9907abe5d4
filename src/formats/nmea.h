// NMEA position and time decoders: GGA position, ZDA time (which also drives
// the PC clock synchronisation of the owning window), both from one port, and
// pulse-per-second events. No checksum is read or verified.
#pragma once

#include <string>

#include "port/codec.h"

class CSnsrTime;

// GPS fix data.
//   $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
//   time, lat ddmm.mmmm, N/S, lon dddmm.mmmm, E/W, quality, satellites, HDOP,
//   altitude, M, geoid separation, M
class CSD_GPGGA : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_GPGGA)
 public:
  CSD_GPGGA();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};

// Decides when a ZDA time is passed on for clock synchronisation: at once when
// the PC clock is more than a second off, else on every tenth whole-second ZDA.
class ZdaSynchroniser {
 public:
  // Fills the record's GPS time from the parsed fields and synchronises when due.
  void Process(CDecode& decoder, CSnsrTime& record, double msgTime, int hour, int minute, double seconds,
               int day, int month, int year, bool pcYearRule);

 private:
  int m_countdown = 0;
};

// GGA and ZDA interleaved on one port; any talker. A ZDA is part 2 of the cycle.
//   $GPZDA,201530.00,04,07,2002,00,00*60
//   hhmmss.ss, day, month, year, local zone hours, local zone minutes
class CSD_GPGGA_ZDA : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_GPGGA_ZDA)
 public:
  CSD_GPGGA_ZDA();
  int DecodeMsg(double time, std::string& msg, int bank) override;

 private:
  std::string m_ggaText;
  std::string m_zdaText;
  ZdaSynchroniser m_sync;
};

// Time and date alone (the layout above).
class CSD_GPZDA : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_GPZDA)
 public:
  CSD_GPZDA();
  int DecodeMsg(double time, std::string& msg, int bank) override;

 private:
  std::string m_zdaText;
  ZdaSynchroniser m_sync;
};

// Every framed message is one pulse; the port is set up for the pulse line by
// its controller.
class CSD_PPS : public CDecode {
  NYX_DECLARE_DYNCREATE(CSD_PPS)
 public:
  CSD_PPS();
  int DecodeMsg(double time, std::string& msg, int bank) override;
};
