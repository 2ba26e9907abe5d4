#include "nyxhost/status_view.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <nlohmann/json.hpp>

namespace {

constexpr const char* kReset = "\x1b[0m";
constexpr const char* kLightGlyph = "\xE2\x97\x8F";  // ●
constexpr const char* kEllipsis = "\xE2\x80\xA6";    // …

// Name widths beyond these are cut so that the rate and age columns stay in view.
constexpr int kMaxNameColumns = 12;
constexpr int kMaxDeviceColumns = 24;
constexpr int kMaxDecoderColumns = 24;

const char* LightColour(int light) {
  switch (light) {
    case 0: return "\x1b[31m";
    case 1: return "\x1b[33m";
    case 2: return "\x1b[32m";
    default: return "\x1b[90m";
  }
}

// The light without colour: a letter that names it.
const char* LightLetter(int light) {
  switch (light) {
    case 0: return "R";
    case 1: return "Y";
    case 2: return "G";
    default: return "-";
  }
}

// Length of the UTF-8 sequence that starts with this byte; 0 for a byte that cannot start one.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead < 0xE0) return 2;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xF0 && lead < 0xF5) return 4;
  return 0;
}

// One column per character; control characters (C0, DEL, C1) and malformed
// bytes each take one column as a stand-in.
std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = SequenceLength(lead);
    for (std::size_t k = 1; length > 1 && k < length; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) length = 0;
    }
    if (length == 0) {
      out.emplace_back("?");
      ++i;
      continue;
    }
    const bool c1 = length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (lead < 0x20 || lead == 0x7F || c1) {
      out.emplace_back(".");
    } else {
      out.push_back(text.substr(i, length));
    }
    i += length;
  }
  return out;
}

int Columns(const std::string& text) { return static_cast<int>(Characters(text).size()); }

std::string PadRight(const std::string& text, int columns) {
  const int have = Columns(text);
  return have >= columns ? text : text + std::string(static_cast<std::size_t>(columns - have), ' ');
}

std::string PadLeft(const std::string& text, int columns) {
  const int have = Columns(text);
  return have >= columns ? text : std::string(static_cast<std::size_t>(columns - have), ' ') + text;
}

std::string TrimLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

std::string AgeText(const std::optional<double>& age) {
  if (!age) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", std::min(*age, 99999.9));
  return text;
}

std::string Plural(unsigned long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void AlarmBoard::OnReport(const Nyx::Report& report) {
  if (report.kind != Nyx::ReportKind::Alarm) return;
  std::lock_guard guard(m_lock);
  if (report.level < 0) {
    m_alarms.erase(report.id);
  } else {
    // An alarm raised again on every trigger reuses its entry's text storage.
    ActiveAlarm& alarm = m_alarms[report.id];
    alarm.id = report.id;
    alarm.level = report.level;
    alarm.text.assign(report.text);
  }
}

std::vector<ActiveAlarm> AlarmBoard::Active() const {
  std::lock_guard guard(m_lock);
  std::vector<ActiveAlarm> out;
  for (const auto& [id, alarm] : m_alarms) out.push_back(alarm);
  return out;
}

const char* LightName(int light) {
  switch (light) {
    case 0: return "red";
    case 1: return "yellow";
    case 2: return "green";
    default: return "grey";
  }
}

std::string CutToColumns(const std::string& text, int columns) {
  if (columns <= 0) return {};
  const std::vector<std::string> characters = Characters(text);
  std::string out;
  const bool cut = static_cast<int>(characters.size()) > columns;
  const std::size_t keep = cut ? static_cast<std::size_t>(columns - 1) : characters.size();
  for (std::size_t i = 0; i < keep; ++i) out += characters[i];
  if (cut) out += kEllipsis;
  return out;
}

namespace {

std::string HubLine(const HubHeard& hub) {
  char line[160];
  std::snprintf(line, sizeof line, "Hub %d. ID %d at %s: %.1f V, %.1f C, %lu messages%s", hub.position, hub.id,
                hub.address.c_str(), hub.volts, hub.temperature, hub.messages, hub.selected ? " (selected)" : "");
  return line;
}

}  // namespace

std::vector<std::string> RenderStatusView(const StationStatus& status, const ViewStyle& style) {
  std::vector<std::string> lines;
  const auto add = [&](const std::string& plain, const char* colour = nullptr) {
    std::string line = CutToColumns(plain, style.width);
    if (colour && style.colour && !line.empty()) line = colour + line + kReset;
    lines.push_back(std::move(line));
  };

  unsigned long records = 0;
  for (const RecordCount& count : status.records) records += count.count;
  const auto green = std::count_if(status.ports.begin(), status.ports.end(), [](const PortStatus& p) { return p.light == 2; });
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.0f s", status.elapsed);
  add(std::string("nyxhost  ") + elapsed + "  " + Plural(status.ports.size(), "port", "ports") + " (" +
      std::to_string(green) + " green)  " + Plural(records, "record", "records") + "  " +
      Plural(status.alarms.size(), "alarm", "alarms"));
  if (!status.panel.empty()) add("Panel: " + status.panel);

  int nameWidth = 0, deviceWidth = 0, decoderWidth = 0;
  for (const PortStatus& port : status.ports) {
    nameWidth = std::max(nameWidth, std::min(Columns(port.name), kMaxNameColumns));
    deviceWidth = std::max(deviceWidth, std::min(Columns(port.device), kMaxDeviceColumns));
    decoderWidth = std::max(decoderWidth, std::min(Columns(port.decoder.empty() ? "-" : port.decoder), kMaxDecoderColumns));
  }
  for (const PortStatus& port : status.ports) {
    std::string line = kLightGlyph;
    line += " " + PadRight(CutToColumns(port.name, kMaxNameColumns), nameWidth);
    if (deviceWidth > 0) line += " " + PadRight(CutToColumns(port.device, kMaxDeviceColumns), deviceWidth);
    line += " " + PadRight(CutToColumns(port.decoder.empty() ? "-" : port.decoder, kMaxDecoderColumns), decoderWidth);
    line += " " + PadLeft(port.hz, 5) + " Hz " + PadLeft(AgeText(port.age), 6) + " s  " + TrimLineEnd(port.last);
    line = CutToColumns(line, style.width);
    // The glyph is the line's first character; a line too narrow for it shows nothing.
    if (line.rfind(kLightGlyph, 0) == 0) {
      line.erase(0, std::char_traits<char>::length(kLightGlyph));
      line = (style.colour ? std::string(LightColour(port.light)) + kLightGlyph + kReset : LightLetter(port.light)) + line;
    }
    lines.push_back(std::move(line));
  }
  for (const std::string& link : status.links) add(link);
  for (const HubHeard& hub : status.hubs) add(HubLine(hub));
  if (status.alarms.empty()) {
    add("No alarms.");
  } else {
    add("Alarms:");
    for (const ActiveAlarm& alarm : status.alarms) {
      add("  " + std::to_string(alarm.id) + " [" + std::to_string(alarm.level) + "] " + alarm.text,
          alarm.level >= 3 ? LightColour(0) : LightColour(1));
    }
  }
  return lines;
}

std::vector<std::string> RenderSummary(const StationStatus& status, const std::string& recordsPath) {
  unsigned long total = 0;
  for (const RecordCount& count : status.records) total += count.count;
  char head[64];
  std::snprintf(head, sizeof head, " in %.1f s", status.elapsed);
  std::vector<std::string> lines;
  lines.push_back(Plural(total, "record", "records") + head + " to " + recordsPath + (total ? ":" : ""));
  for (const RecordCount& count : status.records) {
    char line[128];
    std::snprintf(line, sizeof line, "  kind %5d  %-20s %10lu", count.kind, count.className.c_str(), count.count);
    lines.emplace_back(line);
  }
  return lines;
}

std::string StatusJsonLine(const StationStatus& status) {
  using Json = nlohmann::ordered_json;
  Json json;
  json["elapsed"] = status.elapsed;
  json["triggers"] = status.triggers;
  json["ports"] = Json::array();
  for (const PortStatus& port : status.ports) {
    Json p;
    p["window"] = port.window;
    p["name"] = port.name;
    p["device"] = port.device;
    p["decoder"] = port.decoder;
    p["light"] = LightName(port.light);
    p["hz"] = port.hz;
    p["age"] = port.age ? Json(*port.age) : Json(nullptr);
    p["last"] = port.last;
    json["ports"].push_back(std::move(p));
  }
  json["links"] = status.links;
  json["hubs"] = Json::array();
  for (const HubHeard& hub : status.hubs) {
    json["hubs"].push_back(Json{{"position", hub.position},
                                {"id", hub.id},
                                {"address", hub.address},
                                {"volts", hub.volts},
                                {"temperature", hub.temperature},
                                {"messages", hub.messages},
                                {"selected", hub.selected}});
  }
  json["alarms"] = Json::array();
  for (const ActiveAlarm& alarm : status.alarms) {
    json["alarms"].push_back(Json{{"id", alarm.id}, {"level", alarm.level}, {"text", alarm.text}});
  }
  json["records"] = Json::array();
  for (const RecordCount& count : status.records) {
    json["records"].push_back(Json{{"kind", count.kind}, {"class", count.className}, {"count", count.count}});
  }
  return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

int TerminalView::Width() const {
  winsize size{};
  if (::ioctl(m_fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

void TerminalView::Draw(const std::vector<std::string>& lines) {
  std::string out;
  if (m_drawn > 0) out += "\x1b[" + std::to_string(m_drawn) + "A";
  for (const std::string& line : lines) out += "\r\x1b[2K" + line + "\n";
  const int extra = m_drawn - static_cast<int>(lines.size());
  if (extra > 0) {
    for (int i = 0; i < extra; ++i) out += "\r\x1b[2K\n";
    out += "\x1b[" + std::to_string(extra) + "A";
  }
  m_drawn = static_cast<int>(lines.size());
  for (std::size_t done = 0; done < out.size();) {
    const ssize_t n = ::write(m_fd, out.data() + done, out.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}
