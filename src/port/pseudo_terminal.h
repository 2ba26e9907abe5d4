// A pseudo-terminal pair: a serial line without hardware. The module opens the
// slave by its path like any serial device; whoever plays the device reads and
// writes the master.
#pragma once

#include <chrono>
#include <string>

class PseudoTerminal {
 public:
  // Opens a raw pair; IsOpen() tells whether that worked.
  PseudoTerminal();
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  bool IsOpen() const { return m_master >= 0; }
  const std::string& SlavePath() const { return m_path; }
  int Master() const { return m_master; }
  // Our own descriptor of the slave: it keeps the line from hanging up while
  // the module has it closed.
  int Slave() const { return m_slave; }

  // Writes every byte, waiting while the line's buffer is full; false when the
  // time runs out first (nobody reading) or the master is closed.
  bool Write(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;
  // What the module sent, until count bytes arrived or the time is up.
  std::string Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;
  // Bytes written to the master that the module has not read yet.
  int Unread() const;
  void CloseMaster();

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_path;
};
