// The host's reporting calls. Every report goes to one replaceable sink: the
// host program logs them, tests capture them.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#define NYX_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

namespace Nyx {

enum class ReportKind { Status, Alarm, Comms, Console, MsgBox };

struct Report {
  ReportKind kind = ReportKind::Status;
  int id = 0;       // Status, Alarm
  int level = 0;    // Status, Alarm; -1 ends an alarm
  int channel = 0;  // Comms (0 received, 1 sent), Console; MsgBox type
  std::string text;
};

class ReportSink {
 public:
  virtual ~ReportSink() = default;
  // Called from any thread; implementations must be thread-safe.
  virtual void OnReport(const Report& report) = 0;
  // The button the operator pressed for a message box (1 = OK).
  virtual int AnswerMsgBox(const Report&) { return 1; }
  // Writes out what the sink holds back; see FlushReports.
  virtual void Flush() {}
};

// Null restores the default sink, which writes to standard error: buffered,
// written out by FlushReports (once per trigger or batch), when much has
// gathered, and when the program ends.
void SetReportSink(std::shared_ptr<ReportSink> sink);
void FlushReports();
std::shared_ptr<ReportSink> GetReportSink();

void Status(int id, int level, const char* format, ...) NYX_PRINTF(3, 4);
void Alarm(int id, int level, const char* format, ...) NYX_PRINTF(3, 4);
void Comms(int channel, const char* format, ...) NYX_PRINTF(2, 3);
void Console(int channel, const char* format, ...) NYX_PRINTF(2, 3);
int MsgBox(int type, const char* format, ...) NYX_PRINTF(2, 3);

// Ends an alarm: the same id raised again at level -1 with an empty text.
inline void EndAlarm(int id) { Alarm(id, -1, "%s", ""); }

// The system's text for an error number.
std::string ErrorString(int code);

// Host mode (the module tests it against 1) and operator level.
extern std::atomic<int> nyxMode;
extern std::atomic<int> nyxLevel;

// One line of text for a report, as the default sink prints it.
std::string FormatReport(const Report& report);
void AppendReport(std::string& out, const Report& report);

}  // namespace Nyx
