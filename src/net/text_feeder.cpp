#include "net/text_feeder.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "host/nyx_wnd.h"

CTextLineFeeder::CTextLineFeeder(LineHandler handler, bool keepLineEnds)
    : m_handler(std::move(handler)), m_keepLineEnds(keepLineEnds) {}

CTextLineFeeder::~CTextLineFeeder() { Stop(); }

int CTextLineFeeder::Start(const std::string& path) {
  Stop();
  // Non-blocking, so that opening a pipe does not wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat info {};
  if (fstat(fd, &info) == 0 && S_ISFIFO(info.st_mode)) {
    m_keepOpenFd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  }
  m_fd = fd;
  m_finished = false;
  m_wake.Clear();
  m_thread = std::thread(&CTextLineFeeder::Run, this);
  return 0;
}

void CTextLineFeeder::Stop() {
  if (m_thread.joinable()) {
    m_wake.Signal();
    m_thread.join();
  }
  if (m_keepOpenFd >= 0) close(m_keepOpenFd);
  if (m_fd >= 0) close(m_fd);
  m_keepOpenFd = -1;
  m_fd = -1;
}

void CTextLineFeeder::Deliver(const std::string& line) {
  if (m_handler) {
    m_handler(line);
  } else {
    CNyxWnd::InfoMsg(kInfoUdpText, const_cast<char*>(line.c_str()));
  }
  ++m_lines;
}

void CTextLineFeeder::Run() {
  std::string line;
  char chunk[4096];
  for (;;) {
    const WaitResult wait = WaitReadable(m_fd, m_wake, std::chrono::milliseconds(1000));
    if (wait == WaitResult::Woken || wait == WaitResult::Error) break;
    if (wait == WaitResult::Timeout) continue;
    const ssize_t got = read(m_fd, chunk, sizeof chunk);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (got <= 0) {
      // The end of a file, or a read error: what is left is the last line.
      if (!line.empty()) Deliver(line);
      break;
    }
    for (ssize_t i = 0; i < got; ++i) {
      const char c = chunk[i];
      if (c == '\n' && m_keepLineEnds) {
        line.push_back(c);
        Deliver(line);
        line.clear();
      } else if (c == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Deliver(line);
        line.clear();
      } else {
        line.push_back(c);
        if (line.size() >= kMaxLine && !m_keepLineEnds) {
          Deliver(line);
          line.clear();
        }
      }
    }
  }
  m_finished = true;
}
