// The kernel's termios2 interface takes any rate, not only the classic
// constants. Its header redefines struct termios, so it lives here alone.
#include "port/serial_device.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int SetSerialBaudRate(int fd, unsigned baud) {
  // Rate 0 would hang the line up.
  if (baud == 0) return EINVAL;
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  tio.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  tio.c_ispeed = baud;
  tio.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
  return 0;
}

int GetSerialBaudRate(int fd, unsigned& baud) {
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  baud = tio.c_ospeed;
  return 0;
}
