// Folds repeated alarms for a text log without hiding them: the first raise of
// an alarm is written at once, repeats within the next 10 s are counted, and
// when that time is over one line gives their count and the last text
// ("alarm 3110 ×37 in 10 s: …"). So an alarm that never ends stays visible,
// once per id per 10 s however often it is raised. An alarm raised at a new
// level is written at once; an end is written only for an alarm that was.
// Not thread-safe: the owner serialises the calls.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "host/report.h"

class ReportFolder {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kWindow{10};

  // The lines to write now for a report arriving at now: the counts of
  // windows that are over, then the report's own line when it is not folded.
  std::vector<std::string> Take(const Nyx::Report& report, Clock::time_point now);
  // The counts of windows over by now (for a caller with a clock tick).
  std::vector<std::string> Flush(Clock::time_point now);
  // Take's lines appended to out, each with its newline: no allocation once
  // out has grown.
  void TakeInto(std::string& out, const Nyx::Report& report, Clock::time_point now);

 private:
  struct Fold {
    int level = 0;
    Clock::time_point since;
    int repeats = 0;
    std::string text;
  };
  // The folding, with the lines handed to a writer (LineList or LineText):
  // Count(id, fold) for a count line, Line(report) for a report's own line.
  struct LineList;
  struct LineText;
  template <class Writer>
  void Apply(const Nyx::Report& report, Clock::time_point now, Writer& writer);
  template <class Writer>
  void FlushWith(Clock::time_point now, Writer& writer);
  static void AppendCountLine(std::string& out, int id, const Fold& fold);

  std::map<int, Fold> m_alarms;  // raised and not ended; bounded by the alarm ids in use
};
