// A serial line without a device: the test scripts what the reader reads and how
// opening and writes fail. Its devices share its state, so it may go before them.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "port/serial_device.h"

class ScriptedSerialLine {
 public:
  ScriptedSerialLine();
  // What CSPort::SetDeviceOpener takes: opens a device on this script.
  SerialDeviceOpener Opener();
  // The reader's script, taken in order.
  void Feed(const std::string& bytes);
  void Quiet();              // the next read finds nothing, so the reader waits
  void FailRead(int error);  // the next read returns -error
  void FailWait();           // the next wait for input fails
  void FailOpen(int error);  // every open fails with error (0: opens again)
  void FailWrite(int error);  // writes fail with -error (0: work again)

  std::string Written() const;
  // Waits until the written bytes end with text; false after the timeout.
  bool WaitWritten(const std::string& text, std::chrono::milliseconds timeout) const;
  bool IsOpen() const;
  struct Shared;

 private:
  std::shared_ptr<Shared> m_shared;
};
