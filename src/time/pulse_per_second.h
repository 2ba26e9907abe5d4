// Pulse-per-second tracking: keeps the last accepted edge of the selected
// polarity, checks that edges keep coming, and supplies the device time of the
// last edge to the ZDA handling, which pairs it with the GPS time of the second.
#pragma once

#include <memory>

#include "host/runtime_class.h"

class CESetObj;
class CNyxComm;

// Edge codes from the devices and the serial pulse path.
enum PpsEdge : unsigned char { kPpsPositive = 0, kPpsNegative = 1, kPpsError = 2 };

// Told of each accepted pulse stamped on the host clock (a serial pulse) and of
// each ZDA second handled with the tracker; on the window's thread.
class PulseListener {
 public:
  virtual ~PulseListener() = default;
  virtual void OnPulse(double hostTime) = 0;
  virtual void OnSecond(double gpsSeconds, double now) = 0;
};

class CPulsePerSecond : public CObject {
  NYX_DECLARE_DYNCREATE(CPulsePerSecond)
 public:
  CPulsePerSecond();

  virtual void Settings(CESetObj& obj);
  // Nonzero when the state changed.
  int NewEdge(double commTime, double fpgaTime, unsigned char edge);
  // A pulse from a serial "PPS" port, stamped with its record time in host
  // seconds. The line carries no polarity, so the pulse is passed as the
  // selected edge (a positive edge while none is selected).
  int NewSerialPulse(double recordTime);
  // The age test; nonzero when the display should refresh.
  int SetDataAge(double now);
  void Enable(int on);

  CNyxComm* m_pOwner = nullptr;
  int m_sync;        // 0 none, 1 positive edge, 2 negative edge
  int m_bank = 0;
  int m_state = 3;   // 2 edge arrived, 0 device error, 3 none / disabled / too old
  bool m_bPresent;   // a pulse source is configured
  double m_lastCommTime = 0.0;  // host time of the last accepted edge, seconds
  double m_lastFpgaTime = 0.0;  // device time of the last accepted edge, microseconds
  // The monotonic clock at the last accepted edge, seconds; NaN before one.
  // A sonar's edge is taken as it is handled, a serial pulse at its record time.
  double m_lastMonotonic;
  double m_age = 0.0;
  double m_alarmAge = 2.0;
  std::shared_ptr<PulseListener> m_pListener;

 private:
  int Edge(double commTime, double fpgaTime, unsigned char edge, double monotonic);
};
