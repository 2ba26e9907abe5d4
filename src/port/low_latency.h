// Low latency for serial lines: USB serial adapters hold received bytes for
// up to 16 ms before the host sees them unless the driver is asked to pass
// them on at once (ASYNC_LOW_LATENCY, which the common USB serial drivers
// turn into a 1 ms latency timer).
#pragma once

#include <string>

struct serial_struct;

// The driver's serial settings (TIOCGSERIAL, TIOCSSERIAL), behind a seam so
// that tests can play a driver that accepts or refuses.
class SerialInfoAccess {
 public:
  virtual ~SerialInfoAccess() = default;
  // 0, or the errno of the request.
  virtual int Get(int fd, serial_struct& info) = 0;
  virtual int Set(int fd, const serial_struct& info) = 0;
};

// The real ioctls.
SerialInfoAccess& DriverSerialInfo();

// Asks the driver of an open line for low latency. A driver or pseudo-terminal
// that refuses leaves one status line naming the line and the reason, nothing
// more. Returns 0 or the refusal's errno.
int RequestLowLatency(int fd, const std::string& name, SerialInfoAccess& access = DriverSerialInfo());
