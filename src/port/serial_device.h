// The operating system's serial interface, kept to the few calls the line
// driver needs: open a device for exclusive use, read and write its settings,
// wait for input, read, write with a bounded wait, drive the modem lines and
// probe whether a device is there. The line driver sees only ISerialDevice,
// so that tests can put a scripted device under it.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// Line settings, with the field meanings of the platform's device control block.
struct SerialDcb {
  unsigned BaudRate = 9600;       // any rate the driver accepts
  unsigned char ByteSize = 8;     // data bits, 5 to 8
  unsigned char Parity = 0;       // 0 none, 1 odd, 2 even, 3 mark, 4 space
  unsigned char StopBits = 0;     // 0 one, 1 one and a half, 2 two
  bool fOutxCtsFlow = false;      // output waits for CTS
  bool fOutxDsrFlow = false;      // output waits for DSR (kept; the driver has no such mode)
  unsigned char fDtrControl = 0;  // 0 disable (DTR low), 1 enable (DTR high), 2 handshake
  unsigned char fRtsControl = 0;  // 0 disable (RTS low), 1 enable (RTS high), 2 handshake, 3 toggle
  bool fOutX = false;             // XON/XOFF on output
  bool fInX = false;              // XON/XOFF on input
  char EvtChar = 0;               // event character; nothing waits for it
};

inline constexpr unsigned kMaxDword = 0xFFFFFFFFu;

// Read and write time-outs, with the field meanings of the platform's COMMTIMEOUTS.
struct SerialTimeouts {
  unsigned ReadIntervalTimeout = kMaxDword;
  unsigned ReadTotalTimeoutMultiplier = kMaxDword;
  unsigned ReadTotalTimeoutConstant = 10;
  unsigned WriteTotalTimeoutMultiplier = 0;
  unsigned WriteTotalTimeoutConstant = 0;
};

// Modem line bits, as GetModemBits reports them and Set/ClearModemBits take them.
enum ModemLine : int { kModemDtr = 1, kModemRts = 2, kModemCts = 4, kModemDsr = 8, kModemRing = 16, kModemCd = 32 };

// One open serial device. Destroying it closes it. The reader thread waits
// and reads while the trigger thread writes and drives the modem lines; Wake
// may come from any thread.
class ISerialDevice {
 public:
  enum class Wait { Readable, TimedOut, Woken, Failed };

  virtual ~ISerialDevice() = default;

  // The settings the line keeps (rate, framing, flow control) into dcb; the
  // other fields keep their values. 0 or errno.
  virtual int GetState(SerialDcb& dcb) const = 0;
  // Raw mode with these settings; DTR and RTS follow their control modes where
  // the line has modem lines. 0 or errno.
  virtual int SetState(const SerialDcb& dcb) = 0;

  // Waits up to timeout for input (or, without watchData, only for Wake).
  // A hung-up line counts as readable: the read then reports it.
  virtual Wait WaitReadable(std::chrono::milliseconds timeout, bool watchData) = 0;
  // Ends the current wait, or the next one, with Woken, and a write's wait
  // for room. Any thread.
  virtual void Wake() = 0;
  // Reads what is there: the count, 0 when nothing waits, or -errno (a
  // hung-up line reads -EIO).
  virtual long Read(unsigned char* buffer, std::size_t size) = 0;
  // Writes, waiting for room at most timeout in all or until woken: the count
  // written, or -errno when nothing could be written.
  virtual long Write(const void* data, std::size_t size, std::chrono::milliseconds timeout) = 0;

  // 0 or errno.
  virtual int GetModemBits(int& bits) const = 0;
  virtual int SetModemBits(int bits) = 0;
  virtual int ClearModemBits(int bits) = 0;
};

// Opens the device at a path: null with errno in error on failure.
using SerialDeviceOpener = std::function<std::unique_ptr<ISerialDevice>(const std::string& path, int& error)>;

// The termios device.
class SerialDevice : public ISerialDevice {
 public:
  // Opens the device for reading and writing, exclusively, without becoming
  // its controlling terminal, non-blocking. Null with errno in error on failure
  // (EBUSY when another holds it). Exclusive use ends with the close.
  static std::unique_ptr<SerialDevice> Open(const std::string& path, int& error);
  // Open as an opener.
  static std::unique_ptr<ISerialDevice> OpenDevice(const std::string& path, int& error) { return Open(path, error); }
  // True when the device is free for exclusive use; it is closed again and
  // left as it was found.
  static bool Probe(const std::string& path);

  ~SerialDevice() override;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  int GetState(SerialDcb& dcb) const override;
  int SetState(const SerialDcb& dcb) override;
  Wait WaitReadable(std::chrono::milliseconds timeout, bool watchData) override;
  void Wake() override;
  long Read(unsigned char* buffer, std::size_t size) override;
  long Write(const void* data, std::size_t size, std::chrono::milliseconds timeout) override;
  int GetModemBits(int& bits) const override;
  int SetModemBits(int bits) override;
  int ClearModemBits(int bits) override;

  int Handle() const { return m_fd; }

 private:
  SerialDevice(int fd, int wakeFd) : m_fd(fd), m_wakeFd(wakeFd) {}

  int m_fd;
  int m_wakeFd;
};

// The termios form of the settings other than the rate (raw mode; EINVAL for
// values the driver has no form for), and back.
struct termios;
int SerialDcbToTermios(const SerialDcb& dcb, termios& tio);
void SerialDcbFromTermios(const termios& tio, SerialDcb& dcb);

// The line rate through the driver's arbitrary-rate interface (serial_baud.cpp,
// which cannot share a unit with <termios.h>). 0 or errno.
int SetSerialBaudRate(int fd, unsigned baud);
int GetSerialBaudRate(int fd, unsigned& baud);
