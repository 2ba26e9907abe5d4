// The gpsd JSON protocol (version 3) without sockets, so that gpsd's clients
// see the station unchanged. GpsdFeed turns the station's records into report
// objects (TPV, ATT, PPS, TOFF, raw sentences) and keeps what ?DEVICES and
// ?POLL answer; a GpsdSession parses one client's requests and holds its
// watch policy, which picks the reports that client gets.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CSnsr;

// One report object (or raw sentence) with its line ending, and the device it names.
struct GpsdReport {
  // What a watch must ask for: "json", "pps" (with json) or "nmea"/"raw".
  enum class Kind { kJson, kTiming, kRaw };
  Kind kind = Kind::kJson;
  std::string device;
  std::string line;
};

// A client's watch policy: the WATCH object's flags.
struct GpsdWatch {
  bool enable = false;
  bool json = false;
  bool nmea = false;
  int raw = 0;
  bool scaled = false;
  bool timing = false;
  bool split24 = false;
  bool pps = false;
  std::string device;  // empty: every device

  bool Wants(const GpsdReport& report) const;
};

struct GpsdDevice {
  std::string path;
  std::string driver;  // the decoder's registry name
  unsigned bps = 0;    // 0: not a serial line
};

class GpsdFeed {
 public:
  // GPS time (seconds since 1980) for a host time, from the GPS clock model; none without one.
  using GpsClock = std::function<std::optional<double>(double hostTime)>;

  explicit GpsdFeed(std::string release = "NyxComms") : m_release(std::move(release)) {}

  void SetGpsClock(GpsClock clock) { m_gpsClock = std::move(clock); }
  // A device known before it sends anything, listed from the start.
  void AddDevice(const GpsdDevice& device, double hostTime);
  // One record that came from device (a line's path or a port's name), in
  // the order the host got them; appends the reports it makes.
  void OnRecord(const std::string& device, int kind, const CSnsr& record, std::vector<GpsdReport>& out);

  // Reply objects, each one line with its line ending.
  std::string VersionObject() const;
  std::string DevicesObject() const;
  // The DEVICE object of path (empty: the first device); empty when there is none.
  std::string DeviceObject(const std::string& path) const;
  std::string PollObject(double hostTime) const;

 private:
  struct DeviceState {
    GpsdDevice info;
    double activated = 0.0;  // host time it was first known
    bool hadFix = false;
    bool seenPosition = false;
    // The last GPS time record: the time it names and the host time it came at.
    std::optional<std::pair<double, double>> gpsTime;
    std::string lastSentence;
    std::string lastTpv;  // without its line ending
  };
  DeviceState& Device(const std::string& path, double hostTime);
  std::optional<std::string> Tpv(DeviceState& device, const CSnsr& record);

  std::string m_release;
  GpsClock m_gpsClock;
  mutable std::mutex m_lock;  // records come from the station thread, requests from the server's
  std::map<std::string, DeviceState> m_devices;
};

class GpsdSession {
 public:
  // Pending request bytes beyond this without a complete request are dropped with an error.
  static constexpr std::size_t kMaxPending = 4096;

  explicit GpsdSession(const GpsdFeed& feed) : m_feed(feed) {}

  // What the client gets on connecting.
  std::string Greeting() const { return m_feed.VersionObject(); }
  // Bytes from the client; the replies to every request they complete, in order.
  std::vector<std::string> Receive(std::string_view bytes, double hostTime);
  const GpsdWatch& Watch() const { return m_watch; }

 private:
  void Command(const std::string& name, const std::optional<std::string>& argument, double hostTime,
               std::vector<std::string>& replies);
  std::string WatchObject() const;

  const GpsdFeed& m_feed;
  GpsdWatch m_watch;
  std::string m_pending;
};

// gpsd's error object for a message.
std::string GpsdErrorObject(const std::string& message);
