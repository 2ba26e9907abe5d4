// Reads text lines from a file or a named pipe on a thread of its own and
// hands each line on, by default to the host as info 12020 (a text for the
// UDP controller to send). A regular file is read once to its end; a pipe is
// read until the feeder stops, whatever writers come and go.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

#include "net/udp_socket.h"

class CTextLineFeeder {
 public:
  using LineHandler = std::function<void(const std::string&)>;
  // A line longer than this is handed on in pieces of this size.
  static constexpr std::size_t kMaxLine = 65536;

  // Without a handler, lines go out as CNyxWnd::InfoMsg(12020, text). With
  // keepLineEnds a line keeps its line end as read (and is never cut).
  explicit CTextLineFeeder(LineHandler handler = {}, bool keepLineEnds = false);
  // Stops and joins; must not be called with the host lock held, as the
  // thread may be waiting for it to deliver a line.
  ~CTextLineFeeder();
  CTextLineFeeder(const CTextLineFeeder&) = delete;
  CTextLineFeeder& operator=(const CTextLineFeeder&) = delete;

  // Opens the path and starts reading: 0, or the errno of the failed open.
  int Start(const std::string& path);
  void Stop();

  // True once a regular file was read to its end (or reading failed).
  bool IsFinished() const { return m_finished; }
  std::size_t GetLineCount() const { return m_lines; }

 private:
  void Run();
  void Deliver(const std::string& line);

  LineHandler m_handler;
  bool m_keepLineEnds = false;
  int m_fd = -1;
  int m_keepOpenFd = -1;  // a pipe's own writer end, so that it never reads as ended
  CWakeFd m_wake;
  std::thread m_thread;
  std::atomic<bool> m_finished{false};
  std::atomic<std::size_t> m_lines{0};
};
