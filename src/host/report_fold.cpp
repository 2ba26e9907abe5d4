#include "host/report_fold.h"

#include <charconv>

namespace {

void AppendNumber(std::string& out, long long value) {
  char digits[24];
  out.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

}  // namespace

// Lines kept one string each.
struct ReportFolder::LineList {
  std::vector<std::string>& lines;
  void Count(int id, const Fold& fold) {
    std::string line;
    AppendCountLine(line, id, fold);
    lines.push_back(std::move(line));
  }
  void Line(const Nyx::Report& report) { lines.push_back(Nyx::FormatReport(report)); }
};

// Lines appended to one text, each with its newline.
struct ReportFolder::LineText {
  std::string& text;
  void Count(int id, const Fold& fold) {
    AppendCountLine(text, id, fold);
    text += '\n';
  }
  void Line(const Nyx::Report& report) {
    Nyx::AppendReport(text, report);
    text += '\n';
  }
};

void ReportFolder::AppendCountLine(std::string& out, int id, const Fold& fold) {
  out += "alarm ";
  AppendNumber(out, id);
  out += " \u00d7";
  AppendNumber(out, fold.repeats);
  out += " in ";
  AppendNumber(out, kWindow.count());
  out += " s: ";
  out += fold.text;
}

template <class Writer>
void ReportFolder::FlushWith(Clock::time_point now, Writer& writer) {
  for (auto& [id, fold] : m_alarms) {
    if (fold.repeats == 0 || now - fold.since < kWindow) continue;
    writer.Count(id, fold);
    // The count line opens the next window: still one line per window.
    fold.since = now;
    fold.repeats = 0;
  }
}

template <class Writer>
void ReportFolder::Apply(const Nyx::Report& report, Clock::time_point now, Writer& writer) {
  FlushWith(now, writer);
  if (report.kind != Nyx::ReportKind::Alarm) {
    writer.Line(report);
    return;
  }
  const auto it = m_alarms.find(report.id);
  if (report.level < 0) {
    if (it == m_alarms.end()) return;  // never written as raised
    if (it->second.repeats > 0) writer.Count(report.id, it->second);
    m_alarms.erase(it);
    writer.Line(report);
    return;
  }
  if (it != m_alarms.end() && it->second.level == report.level && now - it->second.since < kWindow) {
    ++it->second.repeats;
    it->second.text = report.text;
    return;
  }
  if (it != m_alarms.end() && it->second.repeats > 0) writer.Count(report.id, it->second);
  m_alarms[report.id] = Fold{report.level, now, 0, report.text};
  writer.Line(report);
}

std::vector<std::string> ReportFolder::Flush(Clock::time_point now) {
  std::vector<std::string> lines;
  LineList writer{lines};
  FlushWith(now, writer);
  return lines;
}

std::vector<std::string> ReportFolder::Take(const Nyx::Report& report, Clock::time_point now) {
  std::vector<std::string> lines;
  LineList writer{lines};
  Apply(report, now, writer);
  return lines;
}

void ReportFolder::TakeInto(std::string& out, const Nyx::Report& report, Clock::time_point now) {
  LineText writer{out};
  Apply(report, now, writer);
}
