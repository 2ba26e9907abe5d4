#include "host/report_fold.h"

std::string ReportFolder::CountLine(int id, const Fold& fold) {
  return "alarm " + std::to_string(id) + " \u00d7" + std::to_string(fold.repeats) + " in " +
         std::to_string(kWindow.count()) + " s: " + fold.text;
}

void ReportFolder::FlushInto(std::vector<std::string>& lines, Clock::time_point now) {
  for (auto& [id, fold] : m_alarms) {
    if (fold.repeats == 0 || now - fold.since < kWindow) continue;
    lines.push_back(CountLine(id, fold));
    // The count line opens the next window: still one line per window.
    fold.since = now;
    fold.repeats = 0;
  }
}

std::vector<std::string> ReportFolder::Flush(Clock::time_point now) {
  std::vector<std::string> lines;
  FlushInto(lines, now);
  return lines;
}

std::vector<std::string> ReportFolder::Take(const Nyx::Report& report, Clock::time_point now) {
  std::vector<std::string> lines;
  FlushInto(lines, now);
  if (report.kind != Nyx::ReportKind::Alarm) {
    lines.push_back(Nyx::FormatReport(report));
    return lines;
  }
  const auto it = m_alarms.find(report.id);
  if (report.level < 0) {
    if (it == m_alarms.end()) return lines;  // never written as raised
    if (it->second.repeats > 0) lines.push_back(CountLine(report.id, it->second));
    m_alarms.erase(it);
    lines.push_back(Nyx::FormatReport(report));
    return lines;
  }
  if (it != m_alarms.end() && it->second.level == report.level && now - it->second.since < kWindow) {
    ++it->second.repeats;
    it->second.text = report.text;
    return lines;
  }
  if (it != m_alarms.end() && it->second.repeats > 0) lines.push_back(CountLine(report.id, it->second));
  m_alarms[report.id] = Fold{report.level, now, 0, report.text};
  lines.push_back(Nyx::FormatReport(report));
  return lines;
}
