// Pseudo-terminal pairs stand in for serial lines: the module opens the slave
// by its path (mapped to a COM number), the test plays the device on the master.
#pragma once

#include <chrono>
#include <functional>
#include <string>

class PtyPair {
 public:
  PtyPair();
  ~PtyPair();
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return m_path; }
  int Master() const { return m_master; }
  // The test's own descriptor of the slave: it keeps the line from hanging up
  // when the module closes it, and shows the line's settings.
  int Slave() const { return m_slave; }

  void Write(const std::string& bytes) const;
  // Reads what the module sent until `count` bytes arrived or the time is up.
  std::string Read(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;
  // Waits until the module has read everything written to the master.
  bool WaitConsumed(std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;
  void CloseMaster();

 private:
  int m_master = -1;
  int m_slave = -1;
  std::string m_path;
};

// Maps a COM number to a path for the scope.
class ScopedComPort {
 public:
  ScopedComPort(int n, const std::string& path);
  ~ScopedComPort();

 private:
  int m_n;
};

// Polls a condition until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(3));
