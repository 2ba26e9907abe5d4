#include "port/serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "port/low_latency.h"

namespace {

int ToDeviceBits(int bits) {
  int out = 0;
  if (bits & kModemDtr) out |= TIOCM_DTR;
  if (bits & kModemRts) out |= TIOCM_RTS;
  if (bits & kModemCts) out |= TIOCM_CTS;
  if (bits & kModemDsr) out |= TIOCM_DSR;
  if (bits & kModemRing) out |= TIOCM_RNG;
  if (bits & kModemCd) out |= TIOCM_CD;
  return out;
}

int FromDeviceBits(int bits) {
  int out = 0;
  if (bits & TIOCM_DTR) out |= kModemDtr;
  if (bits & TIOCM_RTS) out |= kModemRts;
  if (bits & TIOCM_CTS) out |= kModemCts;
  if (bits & TIOCM_DSR) out |= kModemDsr;
  if (bits & TIOCM_RNG) out |= kModemRing;
  if (bits & TIOCM_CD) out |= kModemCd;
  return out;
}

// Exclusive use: TIOCEXCL keeps other programs out (except the superuser), the
// lock keeps out everyone who asks for it, this process included. A device
// another program marked for itself counts as busy even for the superuser.
// The mark outlives the descriptor on a terminal that stays open elsewhere,
// so whoever sets it takes it off again (ReleaseExclusive).
int OpenExclusive(const std::string& path, int flags, bool mark) {
  const int fd = ::open(path.c_str(), flags | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -errno;
  int marked = 0;
  if (::ioctl(fd, TIOCGEXCL, &marked) == 0 && marked != 0) {
    ::close(fd);
    return -EBUSY;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return -error;
  }
  if (mark && ::ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno;
    ::close(fd);
    return -error;
  }
  return fd;
}

void ReleaseExclusive(int fd, bool marked) {
  if (marked) ::ioctl(fd, TIOCNXCL);
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

// Raw from the start: no echo, no line editing, whatever settings follow.
int MakeRaw(int fd) {
  struct termios tio {};
  if (::tcgetattr(fd, &tio) != 0) return errno;
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return ::tcsetattr(fd, TCSANOW, &tio) != 0 ? errno : 0;
}

int Milliseconds(std::chrono::steady_clock::duration d) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

}  // namespace

std::unique_ptr<SerialDevice> SerialDevice::Open(const std::string& path, int& error) {
  error = 0;
  const int fd = OpenExclusive(path, O_RDWR, true);
  if (fd < 0) {
    error = -fd;
    return nullptr;
  }
  error = MakeRaw(fd);
  if (!error) RequestLowLatency(fd, path);
  const int wakeFd = error ? -1 : ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (error || wakeFd < 0) {
    if (!error) error = errno;
    ReleaseExclusive(fd, true);
    return nullptr;
  }
  return std::unique_ptr<SerialDevice>(new SerialDevice(fd, wakeFd));
}

bool SerialDevice::Probe(const std::string& path) {
  // Only asks: the device is left unmarked, as it was found.
  const int fd = OpenExclusive(path, O_RDONLY, false);
  if (fd < 0) return false;
  ReleaseExclusive(fd, false);
  return true;
}

SerialDevice::~SerialDevice() {
  ::close(m_wakeFd);
  ReleaseExclusive(m_fd, true);
}

int SerialDcbToTermios(const SerialDcb& dcb, termios& tio) {
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  switch (dcb.ByteSize) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return EINVAL;
  }
  switch (dcb.Parity) {
    case 0: break;
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: return EINVAL;
  }
  if (dcb.StopBits > 2) return EINVAL;
  if (dcb.StopBits != 0) tio.c_cflag |= CSTOPB;
  // One flag carries both directions of hardware flow control here.
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == 2) tio.c_cflag |= CRTSCTS;
  tio.c_iflag &= ~(IXON | IXOFF | IXANY);
  if (dcb.fOutX) tio.c_iflag |= IXON;
  if (dcb.fInX) tio.c_iflag |= IXOFF;
  // With a minimum of one byte a read of an empty line says "try again" and
  // only a hung-up line reads end-of-file.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  return 0;
}

void SerialDcbFromTermios(const termios& tio, SerialDcb& dcb) {
  switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if (!(tio.c_cflag & PARENB)) {
    dcb.Parity = 0;
  } else if (tio.c_cflag & CMSPAR) {
    dcb.Parity = (tio.c_cflag & PARODD) ? 3 : 4;
  } else {
    dcb.Parity = (tio.c_cflag & PARODD) ? 1 : 2;
  }
  // Two stop bits stand for one and a half as well; keep that choice.
  if (!(tio.c_cflag & CSTOPB)) {
    dcb.StopBits = 0;
  } else if (dcb.StopBits == 0) {
    dcb.StopBits = 2;
  }
  dcb.fOutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
  dcb.fOutX = (tio.c_iflag & IXON) != 0;
  dcb.fInX = (tio.c_iflag & IXOFF) != 0;
}

int SerialDevice::GetState(SerialDcb& dcb) const {
  struct termios tio {};
  if (::tcgetattr(m_fd, &tio) != 0) return errno;
  unsigned baud = 0;
  if (const int error = GetSerialBaudRate(m_fd, baud)) return error;
  dcb.BaudRate = baud;
  SerialDcbFromTermios(tio, dcb);
  return 0;
}

int SerialDevice::SetState(const SerialDcb& dcb) {
  struct termios tio {};
  if (::tcgetattr(m_fd, &tio) != 0) return errno;
  if (const int error = SerialDcbToTermios(dcb, tio)) return error;
  if (::tcsetattr(m_fd, TCSANOW, &tio) != 0) return errno;
  if (const int error = SetSerialBaudRate(m_fd, dcb.BaudRate)) return error;

  // DTR and RTS levels; a line without modem lines (a pseudo-terminal) takes
  // the rest of the settings all the same.
  int raise = 0, lower = 0;
  (dcb.fDtrControl == 0 ? lower : raise) |= kModemDtr;
  if (dcb.fRtsControl == 0) lower |= kModemRts;
  if (dcb.fRtsControl == 1 || dcb.fRtsControl == 3) raise |= kModemRts;
  for (const int error : {raise ? SetModemBits(raise) : 0, lower ? ClearModemBits(lower) : 0}) {
    if (error != 0 && error != ENOTTY && error != EINVAL) return error;
  }
  return 0;
}

SerialDevice::Wait SerialDevice::WaitReadable(std::chrono::milliseconds timeout, bool watchData) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  pollfd fds[2] = {{m_wakeFd, POLLIN, 0}, {m_fd, POLLIN, 0}};
  for (;;) {
    const int ready = ::poll(fds, watchData ? 2 : 1, Milliseconds(deadline - std::chrono::steady_clock::now()));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return Wait::Failed;
    }
    if (ready == 0) return Wait::TimedOut;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t drained = ::read(m_wakeFd, &count, sizeof count);
      return Wait::Woken;
    }
    if (watchData) {
      if (fds[1].revents & POLLNVAL) return Wait::Failed;
      if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) return Wait::Readable;
    }
  }
}

void SerialDevice::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

long SerialDevice::Read(unsigned char* buffer, std::size_t size) {
  if (size == 0) return 0;
  for (;;) {
    const ssize_t count = ::read(m_fd, buffer, size);
    if (count > 0) return static_cast<long>(count);
    // A hung-up line reads end-of-file: it is gone as surely as on an I/O error.
    if (count == 0) return -EIO;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    return -errno;
  }
}

long SerialDevice::Write(const void* data, std::size_t size, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const auto* bytes = static_cast<const unsigned char*>(data);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t count = ::write(m_fd, bytes + written, size - written);
    if (count > 0) {
      written += static_cast<std::size_t>(count);
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (written == 0) return -errno;
      break;
    }
    const auto left = deadline - std::chrono::steady_clock::now();
    if (left <= std::chrono::steady_clock::duration::zero()) break;
    // A wake (a stop) ends the wait for room; it stays set for the reader.
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, Milliseconds(left)) == 0 || (fds[1].revents & POLLIN)) break;
  }
  return static_cast<long>(written);
}

int SerialDevice::GetModemBits(int& bits) const {
  int deviceBits = 0;
  if (::ioctl(m_fd, TIOCMGET, &deviceBits) != 0) return errno;
  bits = FromDeviceBits(deviceBits);
  return 0;
}

int SerialDevice::SetModemBits(int bits) {
  const int deviceBits = ToDeviceBits(bits);
  return ::ioctl(m_fd, TIOCMBIS, &deviceBits) != 0 ? errno : 0;
}

int SerialDevice::ClearModemBits(int bits) {
  const int deviceBits = ToDeviceBits(bits);
  return ::ioctl(m_fd, TIOCMBIC, &deviceBits) != 0 ? errno : 0;
}
