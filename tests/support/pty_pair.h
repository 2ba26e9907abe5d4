// Pseudo-terminal pairs stand in for serial lines: the module opens the slave
// by its path (mapped to a COM number), the test plays the device on the master.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "port/com_port_map.h"
#include "port/pseudo_terminal.h"

// A pair that must open; WaitConsumed waits until the module has read
// everything written to the master.
class PtyPair : public PseudoTerminal {
 public:
  PtyPair();
  void Write(const std::string& bytes) const;
  bool WaitConsumed(std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;
};

// Maps a COM number to a path for the scope.
class ScopedComPort {
 public:
  ScopedComPort(int n, const std::string& path) : m_n(n) { ComPortMap::Set(n, path); }
  ~ScopedComPort() { ComPortMap::Set(m_n, ""); }

 private:
  int m_n;
};

// Polls a condition until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(3));
