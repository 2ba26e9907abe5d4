#include "net/udp_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

CWakeFd::CWakeFd() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CWakeFd::~CWakeFd() {
  if (m_fd >= 0) close(m_fd);
}

void CWakeFd::Signal() {
  const std::uint64_t one = 1;
  // The counter saturates long before it matters; a full counter is still signalled.
  [[maybe_unused]] const ssize_t written = write(m_fd, &one, sizeof one);
}

void CWakeFd::Clear() {
  std::uint64_t value = 0;
  [[maybe_unused]] const ssize_t got = read(m_fd, &value, sizeof value);
}

WaitResult WaitReadable(int fd, const CWakeFd& wake, std::chrono::milliseconds timeout) {
  pollfd fds[2] = {{wake.Fd(), POLLIN, 0}, {fd, POLLIN, 0}};
  const int ready = poll(fds, 2, static_cast<int>(timeout.count()));
  if (ready < 0) return errno == EINTR ? WaitResult::Timeout : WaitResult::Error;
  if (ready == 0) return WaitResult::Timeout;
  if (fds[0].revents & POLLIN) return WaitResult::Woken;
  if (fds[1].revents & POLLNVAL) return WaitResult::Error;
  return WaitResult::Readable;
}

int UdpAddress::Port() const { return ntohs(addr.sin_port); }

bool ResolveUdpAddress(const std::string& host, int port, UdpAddress& out, std::string* error) {
  if (port < 0 || port > 65535) {
    if (error) *error = "port out of range";
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_protocol = IPPROTO_UDP;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found) {
    if (error) *error = gai_strerror(rc);
    return false;
  }
  std::memcpy(&out.addr, found->ai_addr, sizeof out.addr);
  out.addr.sin_port = htons(static_cast<std::uint16_t>(port));
  freeaddrinfo(found);
  return true;
}

std::string LocalHostName() {
  char name[256] = {};
  return gethostname(name, sizeof name - 1) == 0 ? name : "";
}

bool LocalHostNameResolves() {
  const std::string name = LocalHostName();
  UdpAddress ignored;
  return !name.empty() && ResolveUdpAddress(name, 0, ignored);
}

bool ParseIpv4(const std::string& text, std::uint32_t& address) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  address = parsed.s_addr;
  return true;
}

CUdpSocket::~CUdpSocket() { Close(); }

CUdpSocket::CUdpSocket(CUdpSocket&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }

CUdpSocket& CUdpSocket::operator=(CUdpSocket&& other) noexcept {
  if (this != &other) {
    Close();
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

int CUdpSocket::Open(int port, const std::string& address) {
  Close();
  std::uint32_t bindTo = htonl(INADDR_ANY);
  if (port < 0 || port > 65535 || (!address.empty() && !ParseIpv4(address, bindTo))) return EINVAL;
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return errno;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = bindTo;
  local.sin_port = htons(static_cast<std::uint16_t>(port));
  if (bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    const int error = errno;
    close(fd);
    return error;
  }
  m_fd = fd;
  return 0;
}

int CUdpSocket::Close() {
  if (m_fd < 0) return 0;
  const int rc = close(m_fd);
  m_fd = -1;
  return rc == 0 ? 0 : errno;
}

int CUdpSocket::LocalPort() const {
  if (m_fd < 0) return 0;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

int CUdpSocket::SetReceiveBuffer(int bytes) {
  if (m_fd < 0) return EBADF;
  return setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes) == 0 ? 0 : errno;
}

int CUdpSocket::GetReceiveBuffer() const {
  int bytes = 0;
  socklen_t length = sizeof bytes;
  if (m_fd < 0 || getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0) return -1;
  return bytes;
}

long CUdpSocket::SendTo(const UdpAddress& to, const void* data, std::size_t count) {
  if (m_fd < 0) return -EBADF;
  const ssize_t sent = sendto(m_fd, data, count, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to.addr),
                              sizeof to.addr);
  return sent < 0 ? -errno : static_cast<long>(sent);
}

long CUdpSocket::Receive(void* buffer, std::size_t size, UdpAddress* from) {
  if (m_fd < 0) return -EBADF;
  sockaddr_in sender{};
  socklen_t length = sizeof sender;
  const ssize_t got = recvfrom(m_fd, buffer, size, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&sender), &length);
  if (got >= 0 && from) from->addr = sender;
  return got < 0 ? -errno : static_cast<long>(got);
}
