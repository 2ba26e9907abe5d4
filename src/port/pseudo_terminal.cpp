#include "port/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

PseudoTerminal::PseudoTerminal() {
  char name[256] = {};
  if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
    m_master = m_slave = -1;
    return;
  }
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

PseudoTerminal::~PseudoTerminal() {
  CloseMaster();
  if (m_slave >= 0) ::close(m_slave);
}

bool PseudoTerminal::Write(const std::string& bytes, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (m_master < 0) return false;
    const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    pollfd fd{m_master, POLLOUT, 0};
    ::poll(&fd, 1, 20);
  }
  return true;
}

std::string PseudoTerminal::Read(std::size_t count, std::chrono::milliseconds timeout) const {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (m_master >= 0 && out.size() < count && std::chrono::steady_clock::now() < deadline) {
    pollfd fd{m_master, POLLIN, 0};
    if (::poll(&fd, 1, 20) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(m_master, buffer, sizeof buffer);
    if (n > 0) out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

int PseudoTerminal::Unread() const {
  int waiting = 0;
  return ::ioctl(m_slave, FIONREAD, &waiting) == 0 ? waiting : -1;
}

void PseudoTerminal::CloseMaster() {
  if (m_master >= 0) ::close(m_master);
  m_master = -1;
}
