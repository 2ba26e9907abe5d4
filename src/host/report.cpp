#include "host/report.h"

#include "host/report_fold.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

namespace Nyx {

std::atomic<int> nyxMode{0};
std::atomic<int> nyxLevel{0};

namespace {

// Writes to standard error, repeated alarms folded into counts.
class StderrSink : public ReportSink {
 public:
  ~StderrSink() override { Flush(); }

  void OnReport(const Report& report) override {
    std::lock_guard guard(m_lock);
    m_folder.TakeInto(m_pending, report, std::chrono::steady_clock::now());
    if (m_pending.size() >= kMaxPending) WritePending();
  }

  void Flush() override {
    std::lock_guard guard(m_lock);
    WritePending();
  }

 private:
  static constexpr std::size_t kMaxPending = 64 * 1024;

  void WritePending() {
    if (m_pending.empty()) return;
    std::fwrite(m_pending.data(), 1, m_pending.size(), stderr);
    m_pending.clear();
  }

  std::mutex m_lock;
  ReportFolder m_folder;
  std::string m_pending;
};

std::mutex g_sinkLock;
std::shared_ptr<ReportSink>& SinkSlot() {
  static std::shared_ptr<ReportSink> sink = std::make_shared<StderrSink>();
  return sink;
}

// Formats into the text's own storage, grown only when a text is longer than
// any before it.
void VFormatInto(std::string& text, const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  text.resize(text.capacity());
  const int needed = std::vsnprintf(text.data(), text.size() + 1, format, copy);
  va_end(copy);
  if (needed < 0) {
    text.clear();
    return;
  }
  const bool fits = static_cast<std::size_t>(needed) <= text.size();
  text.resize(static_cast<std::size_t>(needed));
  if (!fits) std::vsnprintf(text.data(), text.size() + 1, format, args);
}

// Reports are made in a report kept per thread, so a report costs no
// allocation once its text has fitted; a report made while one is being
// delivered (by a sink) gets one of its own.
thread_local Report t_report;
thread_local bool t_delivering = false;

int Deliver(ReportKind kind, int id, int level, int channel, const char* format, va_list args) {
  Report own;
  Report& report = t_delivering ? own : t_report;
  report.kind = kind;
  report.id = id;
  report.level = level;
  report.channel = channel;
  VFormatInto(report.text, format, args);
  const bool outer = !t_delivering;
  t_delivering = true;
  std::shared_ptr<ReportSink> sink = GetReportSink();
  int answer = 0;
  if (kind == ReportKind::MsgBox) {
    answer = sink->AnswerMsgBox(report);
  } else {
    sink->OnReport(report);
  }
  if (outer) t_delivering = false;
  return answer;
}

}  // namespace

void SetReportSink(std::shared_ptr<ReportSink> sink) {
  std::lock_guard guard(g_sinkLock);
  SinkSlot() = sink ? std::move(sink) : std::make_shared<StderrSink>();
}

void FlushReports() { GetReportSink()->Flush(); }

std::shared_ptr<ReportSink> GetReportSink() {
  std::lock_guard guard(g_sinkLock);
  return SinkSlot();
}

void Status(int id, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(ReportKind::Status, id, level, 0, format, args);
  va_end(args);
}

void Alarm(int id, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(ReportKind::Alarm, id, level, 0, format, args);
  va_end(args);
}

void Comms(int channel, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(ReportKind::Comms, 0, 0, channel, format, args);
  va_end(args);
}

void Console(int channel, const char* format, ...) {
  va_list args;
  va_start(args, format);
  Deliver(ReportKind::Console, 0, 0, channel, format, args);
  va_end(args);
}

int MsgBox(int type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int answer = Deliver(ReportKind::MsgBox, 0, 0, type, format, args);
  va_end(args);
  return answer;
}

std::string ErrorString(int code) {
  char buffer[256];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("Unknown error ") + std::to_string(code);
}

std::string FormatReport(const Report& report) {
  std::string line;
  AppendReport(line, report);
  return line;
}

void AppendReport(std::string& out, const Report& report) {
  char number[16];
  const auto append = [&out, &number](int value) {
    const auto end = std::to_chars(number, number + sizeof number, value).ptr;
    out.append(number, end);
  };
  switch (report.kind) {
    case ReportKind::Status:
      out += "status ";
      append(report.id);
      out += ": ";
      break;
    case ReportKind::Alarm:
      out += "alarm ";
      append(report.id);
      if (report.level < 0) {
        out += " ended";
        return;
      }
      out += " [";
      append(report.level);
      out += "]: ";
      break;
    case ReportKind::Comms:
      out += report.channel == 0 ? "rx " : "tx ";
      break;
    case ReportKind::Console:
      out += "console ";
      append(report.channel);
      out += ": ";
      break;
    case ReportKind::MsgBox:
      out += "message: ";
      break;
  }
  out += report.text;
}

}  // namespace Nyx
