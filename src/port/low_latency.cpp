#include "port/low_latency.h"

#include <cerrno>

#include <linux/serial.h>
#include <sys/ioctl.h>

#include "host/report.h"

namespace {

class Ioctls : public SerialInfoAccess {
 public:
  int Get(int fd, serial_struct& info) override { return ::ioctl(fd, TIOCGSERIAL, &info) == 0 ? 0 : errno; }
  int Set(int fd, const serial_struct& info) override { return ::ioctl(fd, TIOCSSERIAL, &info) == 0 ? 0 : errno; }
};

}  // namespace

SerialInfoAccess& DriverSerialInfo() {
  static Ioctls ioctls;
  return ioctls;
}

int RequestLowLatency(int fd, const std::string& name, SerialInfoAccess& access) {
  serial_struct info{};
  int error = access.Get(fd, info);
  if (!error && !(info.flags & ASYNC_LOW_LATENCY)) {
    info.flags |= ASYNC_LOW_LATENCY;
    error = access.Set(fd, info);
  }
  if (error) {
    Nyx::Status(9060, 2, "Serial Comms Low Latency not available [%s]: %s", name.c_str(),
                Nyx::ErrorString(error).c_str());
  }
  return error;
}
