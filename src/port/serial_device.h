// The operating system's serial interface, kept to the few calls the line
// driver needs: open a device for exclusive use, read and write its settings,
// wait for input, read, write with a bounded wait, drive the modem lines and
// probe whether a device is there.
#pragma once

#include <chrono>
#include <cstddef>
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

class SerialDevice {
 public:
  enum class Wait { Readable, TimedOut, Woken, Failed };

  // Opens the device for reading and writing, exclusively, without becoming
  // its controlling terminal, non-blocking. Null with errno in error on failure.
  static std::unique_ptr<SerialDevice> Open(const std::string& path, int& error);
  // True when the device opens for exclusive reading; it is closed again.
  static bool Probe(const std::string& path);

  ~SerialDevice();
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;

  // The settings the line keeps (rate, framing, flow control) into dcb; the
  // other fields keep their values. 0 or errno.
  int GetState(SerialDcb& dcb) const;
  // Raw mode with these settings; DTR and RTS follow their control modes where
  // the line has modem lines. 0 or errno.
  int SetState(const SerialDcb& dcb);

  // Waits up to timeout for input (or, without watchData, only for Wake).
  // A hung-up line counts as readable: the read then reports it.
  Wait WaitReadable(std::chrono::milliseconds timeout, bool watchData);
  // Ends the current wait, or the next one, with Woken. Any thread.
  void Wake();
  // Reads what is there: the count, 0 when nothing waits, or -errno.
  long Read(unsigned char* buffer, std::size_t size);
  // Writes, waiting for room at most timeout in all: the count written, or
  // -errno when nothing could be written.
  long Write(const void* data, std::size_t size, std::chrono::milliseconds timeout);

  // 0 or errno.
  int GetModemBits(int& bits) const;
  int SetModemBits(int bits);
  int ClearModemBits(int bits);

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
