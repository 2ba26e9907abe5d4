// A serial line without a device: the test scripts what the line's reader
// reads (bytes, read errors, failed waits, a hang-up), how opening, settings
// and writes fail, and the modem lines it reports; it sees what was written
// and the settings and modem lines the driver set. One ScriptedSerialLine
// outlives every device it opens (the line driver owns the devices).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "port/serial_device.h"

class ScriptedSerialLine {
 public:
  ScriptedSerialLine();
  ~ScriptedSerialLine();
  ScriptedSerialLine(const ScriptedSerialLine&) = delete;
  ScriptedSerialLine& operator=(const ScriptedSerialLine&) = delete;

  // What CSPort::SetDeviceOpener takes: opens a device on this script.
  SerialDeviceOpener Opener();

  // The reader's script, taken in order.
  void Feed(const std::string& bytes);
  void Quiet();              // the next read finds nothing, so the reader waits
  void FailRead(int error);  // the next read returns -error
  void FailWait();           // the next wait for input fails
  void HangUp();             // every read from here on reads -EIO, as a hung-up line does

  void FailOpen(int error);   // every open fails with error (0: opens again)
  void FailState(int error);  // SetState fails with error (0: works again)
  void FailWrite(int error);  // writes fail with -error (0: work again)
  void FailModem(int error);  // modem line calls fail with error (0: work again)
  void SetInputLines(int bits);  // CTS, DSR, ring, CD as the device reports them

  std::string Written() const;
  // Waits until the written bytes end with text; false after the timeout.
  bool WaitWritten(const std::string& text, std::chrono::milliseconds timeout) const;
  // Waits until the reader took everything fed; false after the timeout.
  bool WaitDrained(std::chrono::milliseconds timeout) const;
  int ModemBits() const;
  SerialDcb State() const;
  int Opens() const;
  bool IsOpen() const;

  struct Shared;

 private:
  std::shared_ptr<Shared> m_shared;
};
