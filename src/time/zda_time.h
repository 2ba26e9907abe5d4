// What a comms window does with a ZDA that its decoder passes on: the GPS time
// of the second is paired with the device time of that second's pulse and fed
// to the window's clock models, which may also set the PC clock.
#pragma once

#include "host/host_time.h"
#include "host/tm80.h"

class CECommTime;
class CPulsePerSecond;

// The device time is the pulse's, in microseconds, while the tracker has a
// polarity selected and has seen an edge; otherwise the window's fallback.
// Ends with the status line statusId (3027 serial window, 3022 hub window)
// "Comm ZDA,<utc> PPS <converted pulse time>".
void ProcessZdaTime(CECommTime& time, const CPulsePerSecond& pps, double fallbackDeviceMicroseconds,
                    CTm80& gpsTime, const SYSTEMTIME& utc, int statusId);
