#include "net/gpsd_protocol.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "host/host_time.h"
#include "host/records.h"
#include "host/tm80.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr int kProtoMajor = 3;
constexpr int kProtoMinor = 14;

std::string Line(const Json& object) { return object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\r\n"; }

std::string Iso(double hostTime) { return CTm80(hostTime).FormatIso8601(); }

// gpsd never writes null: a value that is not finite is left out.
void Put(Json& object, const char* key, double value) {
  if (std::isfinite(value)) object[key] = value;
}

// A single-precision field as the decimal it was read from, not the float's binary expansion.
void PutFloat(Json& object, const char* key, float value) {
  if (!std::isfinite(value)) return;
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", static_cast<double>(value));
  object[key] = std::strtod(text, nullptr);
}

// Seconds and nanoseconds of a host time, counted from 1970.
void PutTime(Json& object, const char* secKey, const char* nsecKey, double hostTime) {
  const double unix = hostTime + kHostEpochUnixSeconds;
  double whole = std::floor(unix);
  long long nsec = std::llround((unix - whole) * 1e9);
  if (nsec >= 1000000000LL) {
    whole += 1.0;
    nsec -= 1000000000LL;
  }
  object[secKey] = static_cast<long long>(whole);
  object[nsecKey] = nsec;
}

// The sentence type of an NMEA line ("GGA" of "$GPGGA,..."), or empty.
std::string SentenceType(const std::string& text) {
  if (text.size() < 7 || (text[0] != '$' && text[0] != '!') || text[6] != ',') return {};
  return text.substr(3, 3);
}

// GGA fix quality: satellite fixes carry a height, the others (estimated,
// manual, simulated) are plane fixes; gpsd's status for the special ones.
struct FixKind {
  int quality;
  bool satellite;
  int status;  // 0: plain
};
constexpr FixKind kFixKinds[] = {
    {1, true, 0}, {2, true, 2}, {3, true, 0}, {4, true, 3}, {5, true, 4}, {6, false, 6}, {7, false, 0}, {8, false, 0},
};

bool Printable(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F;
  });
}

}  // namespace

bool GpsdWatch::Wants(const GpsdReport& report) const {
  if (!enable || (!device.empty() && device != report.device)) return false;
  switch (report.kind) {
    case GpsdReport::Kind::kJson:
      return json;
    case GpsdReport::Kind::kTiming:
      return json && pps;
    case GpsdReport::Kind::kRaw:
      return nmea || raw > 0;
  }
  return false;
}

void GpsdFeed::AddDevice(const GpsdDevice& device, double hostTime) {
  std::lock_guard guard(m_lock);
  Device(device.path, hostTime).info = device;
}

GpsdFeed::DeviceState& GpsdFeed::Device(const std::string& path, double hostTime) {
  auto [it, added] = m_devices.try_emplace(path);
  if (added) {
    it->second.info.path = path;
    it->second.activated = hostTime;
  }
  return it->second;
}

std::optional<std::string> GpsdFeed::Tpv(DeviceState& device, const CSnsr& record) {
  const auto& position = static_cast<const CSnsrPos&>(record);
  const FixKind* fix = nullptr;
  for (const FixKind& kind : kFixKinds) {
    if (kind.quality == position.m_quality) fix = &kind;
  }
  // Records without a fix also carry speeds (Octans) or local vectors (Navi-Pack):
  // only a line that had a fix reports losing it.
  if (!fix && !device.hadFix) return std::nullopt;
  Json tpv;
  tpv["class"] = "TPV";
  tpv["device"] = device.info.path;
  const std::string type = SentenceType(device.lastSentence);
  const bool height = fix && fix->satellite && (type == "GGA" || type == "GNS");
  tpv["mode"] = !fix ? 1 : height ? 3 : 2;
  if (fix && fix->status) tpv["status"] = fix->status;
  // The line's last GPS time, carried forward by the host time since it came.
  if (device.gpsTime) tpv["time"] = Iso(device.gpsTime->first + (record.m_time - device.gpsTime->second));
  if (fix) {
    Put(tpv, "lat", position.m_pos.y);
    Put(tpv, "lon", position.m_pos.x);
    if (height) {
      Put(tpv, "alt", position.m_pos.z);
      Put(tpv, "altHAE", position.m_pos.z);
    }
    device.hadFix = true;
  }
  device.seenPosition = true;
  std::string line = Line(tpv);
  device.lastTpv = line.substr(0, line.size() - 2);
  return line;
}

void GpsdFeed::OnRecord(const std::string& path, int kind, const CSnsr& record, std::vector<GpsdReport>& out) {
  std::lock_guard guard(m_lock);
  DeviceState& device = Device(path, record.m_time);
  const auto add = [&](GpsdReport::Kind reportKind, std::string line) {
    out.push_back(GpsdReport{reportKind, path, std::move(line)});
  };
  switch (kind) {
    case kSnsrInf: {
      if (record.m_type != 0) break;
      std::string text = static_cast<const CSnsrInf&>(record).m_text;
      if (!text.empty() && text.back() == '\r') text.pop_back();
      device.lastSentence = text;
      if (Printable(text)) add(GpsdReport::Kind::kRaw, text + "\r\n");
      break;
    }
    case kSnsrPos:
      if (auto line = Tpv(device, record)) add(GpsdReport::Kind::kJson, std::move(*line));
      break;
    case kSnsrGyro: {
      Json att;
      att["class"] = "ATT";
      att["device"] = path;
      att["time"] = Iso(record.m_time);
      PutFloat(att, "heading", static_cast<const CSnsrGyro&>(record).m_heading);
      add(GpsdReport::Kind::kJson, Line(att));
      break;
    }
    case kSnsrMru: {
      const auto& motion = static_cast<const CSnsrMru&>(record);
      Json att;
      att["class"] = "ATT";
      att["device"] = path;
      att["time"] = Iso(record.m_time);
      PutFloat(att, "pitch", motion.m_pitch);
      PutFloat(att, "roll", motion.m_roll);
      PutFloat(att, "heave", motion.m_heave);
      add(GpsdReport::Kind::kJson, Line(att));
      break;
    }
    case kSnsrTime: {
      const double gps = static_cast<const CSnsrTime&>(record).m_gpsTime.GetValue();
      if (!std::isfinite(gps)) break;
      device.gpsTime = std::pair{gps, record.m_time};
      Json toff;
      toff["class"] = "TOFF";
      toff["device"] = path;
      PutTime(toff, "real_sec", "real_nsec", gps);
      PutTime(toff, "clock_sec", "clock_nsec", record.m_time);
      add(GpsdReport::Kind::kTiming, Line(toff));
      break;
    }
    case kSnsrPps: {
      // A pulse starts a whole GPS second: the model names which one.
      const std::optional<double> gps = m_gpsClock ? m_gpsClock(record.m_time) : std::nullopt;
      if (!gps || !std::isfinite(*gps)) break;
      Json pps;
      pps["class"] = "PPS";
      pps["device"] = path;
      PutTime(pps, "real_sec", "real_nsec", std::round(*gps));
      PutTime(pps, "clock_sec", "clock_nsec", record.m_time);
      add(GpsdReport::Kind::kTiming, Line(pps));
      break;
    }
    default:
      break;
  }
}

std::string GpsdFeed::VersionObject() const {
  Json version;
  version["class"] = "VERSION";
  version["release"] = m_release;
  version["rev"] = m_release;
  version["proto_major"] = kProtoMajor;
  version["proto_minor"] = kProtoMinor;
  return Line(version);
}

namespace {

Json DeviceJson(const std::string& path, const GpsdDevice& info, double activated, bool seenPosition) {
  Json device;
  device["class"] = "DEVICE";
  device["path"] = path;
  if (!info.driver.empty()) device["driver"] = info.driver;
  device["activated"] = Iso(activated);
  if (seenPosition) device["flags"] = 1;  // GPS data seen
  if (info.bps) device["bps"] = info.bps;
  return device;
}

}  // namespace

std::string GpsdFeed::DevicesObject() const {
  std::lock_guard guard(m_lock);
  Json devices;
  devices["class"] = "DEVICES";
  devices["devices"] = Json::array();
  for (const auto& [path, state] : m_devices) {
    devices["devices"].push_back(DeviceJson(path, state.info, state.activated, state.seenPosition));
  }
  return Line(devices);
}

std::string GpsdFeed::DeviceObject(const std::string& path) const {
  std::lock_guard guard(m_lock);
  const auto it = path.empty() ? m_devices.begin() : m_devices.find(path);
  if (it == m_devices.end()) return {};
  return Line(DeviceJson(it->first, it->second.info, it->second.activated, it->second.seenPosition));
}

std::string GpsdFeed::PollObject(double hostTime) const {
  std::lock_guard guard(m_lock);
  Json poll;
  poll["class"] = "POLL";
  poll["time"] = Iso(hostTime);
  Json tpvs = Json::array();
  for (const auto& [path, state] : m_devices) {
    if (!state.lastTpv.empty()) tpvs.push_back(Json::parse(state.lastTpv));
  }
  poll["active"] = tpvs.size();
  poll["tpv"] = std::move(tpvs);
  poll["sky"] = Json::array();
  return Line(poll);
}

std::string GpsdErrorObject(const std::string& message) {
  Json error;
  error["class"] = "ERROR";
  error["message"] = message;
  return Line(error);
}

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';'; }

// The end (one past the closing brace) of the JSON object at text[start], or npos while it is incomplete.
std::size_t ObjectEnd(const std::string& text, std::size_t start) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '{') {
      ++depth;
    } else if (c == '}' && --depth == 0) {
      return i + 1;
    }
  }
  return std::string::npos;
}

// Garbage as the error message quotes it: the start of it, on one line.
std::string Quote(const std::string& text) {
  std::string quoted = text.substr(0, 64);
  std::replace_if(quoted.begin(), quoted.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return quoted;
}

// The watch flags an argument sets; false with the reason when one has the wrong type.
bool ApplyWatch(const Json& argument, GpsdWatch& watch, std::string& error) {
  if (!argument.is_object()) {
    error = "not a JSON object";
    return false;
  }
  GpsdWatch updated = watch;
  struct Flag {
    const char* key;
    bool GpsdWatch::*field;
  };
  static constexpr Flag kFlags[] = {{"enable", &GpsdWatch::enable}, {"json", &GpsdWatch::json},
                                    {"nmea", &GpsdWatch::nmea},     {"scaled", &GpsdWatch::scaled},
                                    {"timing", &GpsdWatch::timing}, {"split24", &GpsdWatch::split24},
                                    {"pps", &GpsdWatch::pps}};
  for (const Flag& flag : kFlags) {
    const auto it = argument.find(flag.key);
    if (it == argument.end()) continue;
    if (!it->is_boolean()) {
      error = std::string("\"") + flag.key + "\" must be true or false";
      return false;
    }
    updated.*flag.field = it->get<bool>();
  }
  if (const auto it = argument.find("raw"); it != argument.end()) {
    if (!it->is_number_integer() || *it < 0 || *it > 2) {
      error = "\"raw\" must be 0, 1 or 2";
      return false;
    }
    updated.raw = it->get<int>();
  }
  if (const auto it = argument.find("device"); it != argument.end()) {
    if (!it->is_string()) {
      error = "\"device\" must be a path";
      return false;
    }
    updated.device = it->get<std::string>();
  }
  // Watching without naming an output means the JSON reports.
  if (updated.enable && !updated.json && !updated.nmea && updated.raw == 0) updated.json = true;
  watch = std::move(updated);
  return true;
}

}  // namespace

std::string GpsdSession::WatchObject() const {
  Json watch;
  watch["class"] = "WATCH";
  watch["enable"] = m_watch.enable;
  watch["json"] = m_watch.json;
  watch["nmea"] = m_watch.nmea;
  watch["raw"] = m_watch.raw;
  watch["scaled"] = m_watch.scaled;
  watch["timing"] = m_watch.timing;
  watch["split24"] = m_watch.split24;
  watch["pps"] = m_watch.pps;
  if (!m_watch.device.empty()) watch["device"] = m_watch.device;
  return Line(watch);
}

void GpsdSession::Command(const std::string& name, const std::optional<std::string>& argument, double hostTime,
                          std::vector<std::string>& replies) {
  Json json;
  if (argument) {
    json = Json::parse(*argument, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
      replies.push_back(GpsdErrorObject("Invalid " + name + ": not a JSON object"));
      return;
    }
  }
  if (name == "VERSION") {
    replies.push_back(m_feed.VersionObject());
  } else if (name == "DEVICES") {
    replies.push_back(m_feed.DevicesObject());
  } else if (name == "POLL") {
    replies.push_back(m_feed.PollObject(hostTime));
  } else if (name == "WATCH") {
    std::string error;
    if (argument && !ApplyWatch(json, m_watch, error)) {
      replies.push_back(GpsdErrorObject("Invalid WATCH: " + error));
      return;
    }
    if (argument && m_watch.enable) replies.push_back(m_feed.DevicesObject());
    replies.push_back(WatchObject());
  } else if (name == "DEVICE") {
    // Devices are the station's to set up: this only tells what one is.
    std::string path = m_watch.device;
    if (argument && json.contains("path") && json["path"].is_string()) path = json["path"].get<std::string>();
    std::string device = m_feed.DeviceObject(path);
    replies.push_back(device.empty() ? GpsdErrorObject("Can't open " + (path.empty() ? "a device" : path)) : device);
  } else {
    replies.push_back(GpsdErrorObject("Unrecognized request '" + Quote(name) + "'"));
  }
}

std::vector<std::string> GpsdSession::Receive(std::string_view bytes, double hostTime) {
  std::vector<std::string> replies;
  m_pending.append(bytes);
  std::size_t at = 0;
  // Garbage up to the end of its line (or of what came) is answered with one error.
  const auto reject = [&](std::size_t from) {
    std::size_t end = m_pending.find('\n', from);
    end = end == std::string::npos ? m_pending.size() : end + 1;
    replies.push_back(GpsdErrorObject("Unrecognized request '" + Quote(m_pending.substr(from, end - from)) + "'"));
    at = end;
  };
  for (;;) {
    while (at < m_pending.size() && Blank(m_pending[at])) ++at;
    if (at == m_pending.size()) break;
    if (m_pending[at] != '?') {
      reject(at);
      continue;
    }
    std::size_t end = at + 1;
    while (end < m_pending.size() && std::isalpha(static_cast<unsigned char>(m_pending[end]))) ++end;
    if (end == m_pending.size()) break;  // the rest is still coming
    const std::string name = m_pending.substr(at + 1, end - at - 1);
    const char next = m_pending[end];
    if (next == '=') {
      if (end + 1 == m_pending.size()) break;
      if (m_pending[end + 1] != '{') {
        reject(at);
        continue;
      }
      const std::size_t close = ObjectEnd(m_pending, end + 1);
      if (close == std::string::npos) break;
      const std::string argument = m_pending.substr(end + 1, close - end - 1);
      at = close;
      Command(name, argument, hostTime, replies);
    } else if (Blank(next) && !name.empty()) {
      at = end + 1;
      Command(name, std::nullopt, hostTime, replies);
    } else {
      reject(at);
    }
  }
  m_pending.erase(0, at);
  if (m_pending.size() > kMaxPending) {
    replies.push_back(GpsdErrorObject("Request too long: '" + Quote(m_pending) + "'"));
    m_pending.clear();
  }
  return replies;
}
