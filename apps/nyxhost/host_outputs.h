// Where what reaches the host goes: the output files (records, events,
// status), the count of records per kind, the host's receiver window for
// records and info messages, and the report sink. Each also hands what it
// gets to the attached services.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "host/nyx_wnd.h"
#include "host/report.h"
#include "host/report_fold.h"
#include "nyxhost/host_service.h"
#include "nyxhost/status_view.h"

class CSnsr;

using HostServices = std::vector<std::unique_ptr<HostService>>;

// One output file (or standard output) written a line at a time from any thread.
class HostOutput {
 public:
  HostOutput(std::FILE* file, bool owned) : m_file(file), m_owned(owned) {}
  ~HostOutput();
  HostOutput(const HostOutput&) = delete;
  HostOutput& operator=(const HostOutput&) = delete;

  // Opened for appending, never truncated: a station restarted by its service
  // keeps what it wrote before. Null with the reason in error.
  static std::shared_ptr<HostOutput> Append(const std::string& path, std::string& error);

  void WriteLine(const std::string& line);
  void Flush();
  bool Failed();

 private:
  std::mutex m_lock;
  std::FILE* m_file;
  bool m_owned;
  bool m_failed = false;
};

// Records per kind, counted as they reach the host.
class RecordTally {
 public:
  void Count(int kind, const CSnsr& record);
  std::vector<RecordCount> Counts() const;

 private:
  mutable std::mutex m_lock;
  std::map<int, std::pair<std::string, unsigned long>> m_counts;
};

// The host's receiver window: every sensor record and info message the
// windows hand to the host.
class HostReceiver : public CNyxWnd {
 public:
  HostReceiver(std::shared_ptr<HostOutput> records, std::shared_ptr<HostOutput> events,
               std::shared_ptr<RecordTally> tally, const HostServices& services);
  ~HostReceiver() override;

  void OnSnsrMsg(int kind, void* record) override;
  void OnInfoMsg(int kind, void* data) override;

 private:
  void Write(int kind, const CSnsr& record);

  std::shared_ptr<HostOutput> m_records;
  std::shared_ptr<HostOutput> m_events;
  std::shared_ptr<RecordTally> m_tally;
  const HostServices& m_services;
};

// Reports go to the alarm board of the status view, to the events file as
// JSON lines and (unless a view has the terminal) to standard error as text.
// Standard error folds repeated alarms into a count every 10 s (data-age
// alarms repeat on every trigger) and leaves out a status line with the same
// text within a few seconds (a silent line reports its time-out every second).
class HostReportSink : public Nyx::ReportSink {
 public:
  HostReportSink(std::shared_ptr<HostOutput> events, std::shared_ptr<AlarmBoard> alarms, bool toStderr,
                 const HostServices& services)
      : m_events(std::move(events)), m_board(std::move(alarms)), m_toStderr(toStderr), m_services(services) {}

  ~HostReportSink() override { Flush(); }

  void OnReport(const Nyx::Report& report) override;
  // Yes (6) or no (7) for a yes/no box as set, OK (1) for any other; each
  // box is written to the events and standard error with its answer.
  int AnswerMsgBox(const Nyx::Report& report) override;
  void Flush() override;
  void SetMsgBoxAnswer(bool yes) { m_msgBoxYes = yes; }

 private:
  // The lines standard error shows for report: none, it, or folded counts.
  std::vector<std::string> StderrLines(const Nyx::Report& report);

  static constexpr auto kRepeat = std::chrono::seconds(10);
  std::shared_ptr<HostOutput> m_events;
  std::shared_ptr<AlarmBoard> m_board;
  bool m_toStderr;
  std::atomic<bool> m_msgBoxYes{true};
  const HostServices& m_services;
  std::mutex m_lock;
  ReportFolder m_folder;
  std::string m_stderrText;
  std::map<std::pair<int, std::string>, std::chrono::steady_clock::time_point> m_statuses;
};
