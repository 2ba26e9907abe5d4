// The operator panel over HTTP: the page, the panel as JSON, the operator's
// entries and an event stream of the panel as it changes. Loopback by
// default; anywhere else only behind a token. Requests that change the
// station come from the page's own origin or carry the token, so that a page
// of another site cannot drive the station through the operator's browser.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "nyxhost/panel_json.h"

namespace httplib {
class Server;
}

struct PanelAddress {
  std::string host = "127.0.0.1";
  int port = 0;
};

// "[ADDR:]PORT" (an IPv6 address in brackets); false with the reason.
bool ParsePanelAddress(const std::string& text, PanelAddress& out, std::string& error);
// 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackHost(const std::string& host);

// One of the page's files, built into the program.
struct PanelAsset {
  const char* path;  // "/index.html"
  const char* type;  // its content type
  const unsigned char* data;
  std::size_t size;
};
const PanelAsset* FindPanelAsset(const std::string& path);

class PanelServer {
 public:
  struct Config {
    PanelAddress address;
    std::string token;    // empty = none
    std::string station;  // what the page calls the station
    std::chrono::milliseconds streamPeriod{250};
    std::chrono::milliseconds entryWait{5000};
  };
  // Runs a task on the host's thread under the host lock, now or soon.
  using Post = std::function<void(std::function<void()>)>;
  using Alarms = std::function<std::vector<ActiveAlarm>()>;

  PanelServer(Config config, std::vector<ServedWindow> windows, Alarms alarms, Post post);
  ~PanelServer();
  PanelServer(const PanelServer&) = delete;
  PanelServer& operator=(const PanelServer&) = delete;

  // Binds and serves from threads of its own; false with the reason.
  bool Start(std::string& error);
  // Tells the open streams the station is going, then stops serving.
  void Stop();
  int Port() const { return m_port; }
  // "http://127.0.0.1:8080/"
  std::string Url() const;

  // Streams open now, and panel events sent so far (to every stream).
  int Streams() const { return m_streams.load(); }
  unsigned long Published() const;

 private:
  struct StreamSlot;
  void Route();
  // Builds the panel under the host lock.
  std::string Snapshot() const;
  void PublishLoop();

  Config m_config;
  std::vector<ServedWindow> m_windows;
  Alarms m_alarms;
  Post m_post;
  std::unique_ptr<httplib::Server> m_server;
  std::thread m_listener;
  std::thread m_publisher;
  int m_port = 0;
  std::atomic<int> m_streams{0};

  mutable std::mutex m_lock;
  std::condition_variable m_changed;
  bool m_stopping = false;
  unsigned long m_version = 0;  // of m_snapshot; 0 = none yet
  std::string m_snapshot;
};
