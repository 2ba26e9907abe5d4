#include "host/report.h"

#include "host/report_fold.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <mutex>
#include <vector>

namespace Nyx {

std::atomic<int> nyxMode{0};
std::atomic<int> nyxLevel{0};

namespace {

// Writes to standard error, repeated alarms folded into counts.
class StderrSink : public ReportSink {
 public:
  void OnReport(const Report& report) override {
    std::lock_guard guard(m_lock);
    for (const std::string& line : m_folder.Take(report, std::chrono::steady_clock::now())) std::cerr << line << '\n';
  }

 private:
  std::mutex m_lock;
  ReportFolder m_folder;
};

std::mutex g_sinkLock;
std::shared_ptr<ReportSink>& SinkSlot() {
  static std::shared_ptr<ReportSink> sink = std::make_shared<StderrSink>();
  return sink;
}

std::string VFormat(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  const int needed = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return {};
  if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, needed);
  std::vector<char> large(static_cast<std::size_t>(needed) + 1);
  std::vsnprintf(large.data(), large.size(), format, args);
  return std::string(large.data(), needed);
}

int Deliver(Report report) {
  std::shared_ptr<ReportSink> sink = GetReportSink();
  if (report.kind == ReportKind::MsgBox) return sink->AnswerMsgBox(report);
  sink->OnReport(report);
  return 0;
}

}  // namespace

void SetReportSink(std::shared_ptr<ReportSink> sink) {
  std::lock_guard guard(g_sinkLock);
  SinkSlot() = sink ? std::move(sink) : std::make_shared<StderrSink>();
}

std::shared_ptr<ReportSink> GetReportSink() {
  std::lock_guard guard(g_sinkLock);
  return SinkSlot();
}

void Status(int id, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  Deliver({ReportKind::Status, id, level, 0, std::move(text)});
}

void Alarm(int id, int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  Deliver({ReportKind::Alarm, id, level, 0, std::move(text)});
}

void Comms(int channel, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  Deliver({ReportKind::Comms, 0, 0, channel, std::move(text)});
}

void Console(int channel, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  Deliver({ReportKind::Console, 0, 0, channel, std::move(text)});
}

int MsgBox(int type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = VFormat(format, args);
  va_end(args);
  return Deliver({ReportKind::MsgBox, 0, 0, type, std::move(text)});
}

std::string ErrorString(int code) {
  char buffer[256];
  // GNU strerror_r may return a static string instead of filling the buffer.
  const char* text = strerror_r(code, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("Unknown error ") + std::to_string(code);
}

std::string FormatReport(const Report& report) {
  switch (report.kind) {
    case ReportKind::Status:
      return "status " + std::to_string(report.id) + ": " + report.text;
    case ReportKind::Alarm:
      if (report.level < 0) return "alarm " + std::to_string(report.id) + " ended";
      return "alarm " + std::to_string(report.id) + " [" + std::to_string(report.level) + "]: " + report.text;
    case ReportKind::Comms:
      return std::string(report.channel == 0 ? "rx " : "tx ") + report.text;
    case ReportKind::Console:
      return "console " + std::to_string(report.channel) + ": " + report.text;
    case ReportKind::MsgBox:
      return "message: " + report.text;
  }
  return report.text;
}

}  // namespace Nyx
