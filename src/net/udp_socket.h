// The operating system's side of UDP: IPv4 datagram sockets, host name
// lookup, and waits that another thread can cut short. Everything above this
// file sees only these calls, so the controller logic reads without sockets.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <netinet/in.h>

// A wake-up that a thread waiting in WaitReadable can be given from another
// thread; stays signalled until cleared (an eventfd).
class CWakeFd {
 public:
  CWakeFd();
  ~CWakeFd();
  CWakeFd(const CWakeFd&) = delete;
  CWakeFd& operator=(const CWakeFd&) = delete;

  void Signal();
  void Clear();
  int Fd() const { return m_fd; }

 private:
  int m_fd = -1;
};

enum class WaitResult { Readable, Woken, Timeout, Error };

// Waits until fd has something to read (or has hung up), the wake is
// signalled, or the timeout passes. The wake wins when both are ready.
WaitResult WaitReadable(int fd, const CWakeFd& wake, std::chrono::milliseconds timeout);

// An IPv4 address and port, resolved once and reused.
struct UdpAddress {
  sockaddr_in addr{};
  int Port() const;
};

// The address of host:port (a name or a dotted quad; IPv4 only), or an error
// text from the resolver.
bool ResolveUdpAddress(const std::string& host, int port, UdpAddress& out, std::string* error = nullptr);

// This machine's own name ("" when it has none).
std::string LocalHostName();
// True when this machine's own name resolves to an IPv4 address.
bool LocalHostNameResolves();
// The IPv4 address of a dotted quad (network order); false for anything else.
bool ParseIpv4(const std::string& text, std::uint32_t& address);

// One IPv4 UDP socket; closed on destruction. Calls return 0 or an errno.
class CUdpSocket {
 public:
  CUdpSocket() = default;
  ~CUdpSocket();
  CUdpSocket(const CUdpSocket&) = delete;
  CUdpSocket& operator=(const CUdpSocket&) = delete;
  CUdpSocket(CUdpSocket&& other) noexcept;
  CUdpSocket& operator=(CUdpSocket&& other) noexcept;

  // A datagram socket bound to port (0: the system picks) on the local
  // address given as a dotted quad, or on every address.
  int Open(int port, const std::string& address = {});
  // Closes the socket; it counts as closed even when the close fails.
  int Close();
  bool IsOpen() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }
  // The local port the socket is bound to, or 0.
  int LocalPort() const;

  int SetReceiveBuffer(int bytes);
  // The receive buffer size the system granted, or -1.
  int GetReceiveBuffer() const;

  // Sends one datagram; bytes sent, or -errno.
  long SendTo(const UdpAddress& to, const void* data, std::size_t count);
  // Takes one waiting datagram without blocking; its length, or -errno
  // (-EAGAIN when nothing waits). A longer datagram is cut to size. The
  // sender's address goes to from when given.
  long Receive(void* buffer, std::size_t size, UdpAddress* from = nullptr);

 private:
  int m_fd = -1;
};
