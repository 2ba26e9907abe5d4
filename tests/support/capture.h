// Test doubles for the host: a report sink that keeps every report, a window
// that keeps every record it receives (as its JSON line), and a fixed clock.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/host_time.h"
#include "host/nyx_wnd.h"
#include "host/report.h"

struct CTaskData;

class ReportCapture : public Nyx::ReportSink {
 public:
  void OnReport(const Nyx::Report& report) override;
  int AnswerMsgBox(const Nyx::Report& report) override;

  std::vector<Nyx::Report> All() const;
  // Reports of one kind, and of one id (status and alarm ids) unless it is kAnyId.
  static constexpr int kAnyId = -2147483647 - 1;
  std::vector<Nyx::Report> Of(Nyx::ReportKind kind, int id = kAnyId) const;
  void Clear();

  int m_msgBoxAnswer = 1;

 private:
  mutable std::mutex m_lock;
  std::vector<Nyx::Report> m_reports;
};

// Installs a ReportCapture for the scope.
class ScopedReports {
 public:
  ScopedReports() : m_sink(std::make_shared<ReportCapture>()) { Nyx::SetReportSink(m_sink); }
  ~ScopedReports() { Nyx::SetReportSink(nullptr); }
  ReportCapture* operator->() const { return m_sink.get(); }
  ReportCapture& operator*() const { return *m_sink; }

 private:
  std::shared_ptr<ReportCapture> m_sink;
};

// Installs a clock for the scope: a ManualClock, or one of the test's own.
class ScopedClock {
 public:
  explicit ScopedClock(double now = 1000.0, long utcOffset = 0) : ScopedClock(std::make_shared<ManualClock>(now, utcOffset)) {}
  explicit ScopedClock(std::shared_ptr<HostClock> clock) : m_clock(std::move(clock)) { TmSync::SetClock(m_clock); }
  ~ScopedClock() { TmSync::SetClock(nullptr); }
  ManualClock* operator->() const { return dynamic_cast<ManualClock*>(m_clock.get()); }

 private:
  std::shared_ptr<HostClock> m_clock;
};

// Tasks a test adds go with it.
class ScopedTasks {
 public:
  ScopedTasks() = default;
  ScopedTasks(const ScopedTasks&) = delete;
  ScopedTasks& operator=(const ScopedTasks&) = delete;
  ~ScopedTasks();
  CTaskData& Add(const std::string& name, const std::string& type);
};

struct ReceivedMsg {
  int kind = 0;
  nlohmann::json record;  // the JSON line of a record; null for other info messages
  std::string line;       // that line as written, keys in the record's order
  long value = 0;         // the integer of an info message without a record
};

// A host window in the sensor and info receiver lists that keeps what arrives.
class RecordCollector : public CNyxWnd {
 public:
  RecordCollector();
  ~RecordCollector() override;
  void OnSnsrMsg(int kind, void* record) override;
  void OnInfoMsg(int kind, void* data) override;

  std::vector<ReceivedMsg> All() const;
  // Records of one kind, in arrival order.
  std::vector<nlohmann::json> Records(int kind) const;
  std::vector<ReceivedMsg> Infos(int kind) const;
  void Clear();

 private:
  mutable std::mutex m_lock;
  std::vector<ReceivedMsg> m_received;
};

// Bytes of a text, for feeding ports.
std::vector<unsigned char> Bytes(const std::string& text);
