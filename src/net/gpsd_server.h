// The gpsd service's TCP side: accepts any number of clients, greets each,
// answers their requests and hands them the reports their watch asks for.
// One thread of its own runs the sockets; the station's thread only queues,
// into one bounded queue per client, so a slow client loses its oldest
// reports (counted) and never holds the station up.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/gpsd_protocol.h"

// One client's lines waiting to be written, oldest first.
class GpsdOutbox {
 public:
  explicit GpsdOutbox(std::size_t capacity) : m_capacity(capacity == 0 ? 1 : capacity) {}

  // Queues a line, dropping the oldest when full. True when the writer must be woken.
  bool Push(std::string line);
  // Takes the queued lines, joined, up to about maxBytes; an empty result puts the writer to sleep.
  std::string Take(std::size_t maxBytes);
  unsigned long Dropped() const;
  std::size_t Size() const;

 private:
  mutable std::mutex m_lock;
  std::deque<std::string> m_lines;
  std::size_t m_capacity;
  unsigned long m_dropped = 0;
  bool m_writing = false;
};

// "[ADDR:]PORT": a bare port binds 127.0.0.1; an IPv6 address goes in brackets.
bool ParseGpsdEndpoint(const std::string& text, std::string& address, int& port, std::string& error);

class GpsdServer {
 public:
  static constexpr std::size_t kDefaultQueue = 1000;

  explicit GpsdServer(GpsdFeed& feed, std::size_t queueLimit = kDefaultQueue);
  ~GpsdServer();
  GpsdServer(const GpsdServer&) = delete;
  GpsdServer& operator=(const GpsdServer&) = delete;

  // Binds and starts serving; false with the reason. Port 0 takes a free port.
  bool Start(const std::string& address, int port, std::string& error);
  // The port bound, once started.
  int Port() const { return m_port; }
  // From any thread: queues each report for the clients that watch it.
  void Publish(const std::vector<GpsdReport>& reports);
  // Closes every client and the listening socket; waits for the thread.
  void Stop();

  std::size_t Clients() const;
  // Lines dropped from full queues, over all clients so far.
  unsigned long Dropped() const;

 private:
  class Impl;
  std::unique_ptr<Impl> m_impl;
  int m_port = 0;
};
