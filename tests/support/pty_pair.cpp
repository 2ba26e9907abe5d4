#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

#include "port/com_port_map.h"

PtyPair::PtyPair() {
  char name[256] = {};
  if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  m_path = name;
  // Raw from the start, as the module sets it: no echo, no line editing, even
  // before the module has opened the line.
  termios tio{};
  ::tcgetattr(m_slave, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(m_slave, TCSANOW, &tio);
  ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
  ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
  ::fcntl(m_slave, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
  CloseMaster();
  ::close(m_slave);
}

void PtyPair::Write(const std::string& bytes) const {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else {
      pollfd fd{m_master, POLLOUT, 0};
      ::poll(&fd, 1, 100);
    }
  }
}

std::string PtyPair::Read(std::size_t count, std::chrono::milliseconds timeout) const {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (out.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{m_master, POLLIN, 0};
    if (::poll(&fd, 1, 20) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

bool PtyPair::WaitConsumed(std::chrono::milliseconds timeout) const {
  return WaitUntil(
      [this] {
        int waiting = 0;
        return ::ioctl(m_slave, FIONREAD, &waiting) == 0 && waiting == 0;
      },
      timeout);
}

void PtyPair::CloseMaster() {
  if (m_master >= 0) ::close(m_master);
  m_master = -1;
}

ScopedComPort::ScopedComPort(int n, const std::string& path) : m_n(n) { ComPortMap::Set(n, path); }

ScopedComPort::~ScopedComPort() { ComPortMap::Set(m_n, ""); }

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
