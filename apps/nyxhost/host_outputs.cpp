// Owns the host program's outputs: the files written a line at a time, the
// record tally, the receiver window that turns records and info messages
// into JSON lines, and the report sink; each passes what it gets on to the
// attached services.
#include "nyxhost/host_outputs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#include <nlohmann/json.hpp>

#include "host/records.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) { return json.dump(-1, ' ', false, Json::error_handler_t::replace); }

// The host's message box types that ask yes or no; the others only inform.
constexpr int kYesNoBoxes[] = {4, 137};
constexpr int kAnswerOk = 1;
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;

// Integers that travel as an info message's data, and the one that travels by pointer.
bool InfoCarriesInteger(int kind) {
  return kind == kInfoSonarActive || kind == kInfoCommsEnable || kind == kInfoPingOnDemand || kind == kInfoTriggerPing;
}

Json ReportJson(const Nyx::Report& report) {
  Json json;
  switch (report.kind) {
    case Nyx::ReportKind::Status:
    case Nyx::ReportKind::Alarm:
      json["report"] = report.kind == Nyx::ReportKind::Status ? "status" : "alarm";
      json["id"] = report.id;
      json["level"] = report.level;
      break;
    case Nyx::ReportKind::Comms:
    case Nyx::ReportKind::Console:
      json["report"] = report.kind == Nyx::ReportKind::Comms ? "comms" : "console";
      json["channel"] = report.channel;
      break;
    case Nyx::ReportKind::MsgBox:
      json["report"] = "msgbox";
      json["id"] = report.channel;
      break;
  }
  json["text"] = report.text;
  return json;
}

}  // namespace

HostOutput::~HostOutput() {
  if (m_owned) std::fclose(m_file);
}

std::shared_ptr<HostOutput> HostOutput::Append(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "a");
  if (!file) {
    error = path + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::make_shared<HostOutput>(file, true);
}

void HostOutput::WriteLine(const std::string& line) {
  std::lock_guard guard(m_lock);
  if (m_failed) return;
  std::fwrite(line.data(), 1, line.size(), m_file);
  if (std::fputc('\n', m_file) == EOF) m_failed = true;
}

void HostOutput::Flush() {
  std::lock_guard guard(m_lock);
  if (!m_failed && std::fflush(m_file) != 0) m_failed = true;
}

bool HostOutput::Failed() {
  std::lock_guard guard(m_lock);
  return m_failed || std::ferror(m_file);
}

void RecordTally::Count(int kind, const CSnsr& record) {
  std::lock_guard guard(m_lock);
  auto& [className, count] = m_counts[kind];
  if (className.empty()) className = record.GetRuntimeClass()->m_lpszClassName;
  ++count;
}

std::vector<RecordCount> RecordTally::Counts() const {
  std::lock_guard guard(m_lock);
  std::vector<RecordCount> out;
  for (const auto& [kind, entry] : m_counts) out.push_back(RecordCount{kind, entry.first, entry.second});
  return out;
}

HostReceiver::HostReceiver(std::shared_ptr<HostOutput> records, std::shared_ptr<HostOutput> events,
                           std::shared_ptr<RecordTally> tally, const HostServices& services)
    : m_records(std::move(records)), m_events(std::move(events)), m_tally(std::move(tally)), m_services(services) {
  SetName("NyxHost");
  Join(s_snsrRx, this);
  Join(s_infoRx, this);
}

HostReceiver::~HostReceiver() { LeaveReceiverLists(); }

void HostReceiver::OnSnsrMsg(int kind, void* record) {
  if (record) Write(kind, *static_cast<const CSnsr*>(record));
}

void HostReceiver::OnInfoMsg(int kind, void* data) {
  if ((kind == kInfoTargetData || kind == kInfoStallPing) && data) Write(kind, *static_cast<const CSnsr*>(data));
  for (const auto& service : m_services) service->OnInfo(kind, data);
  // Texts on their way out over UDP are the controller's business, not the host's.
  if (!m_events || kind == kInfoUdpText) return;
  Json event;
  event["report"] = "info";
  event["kind"] = kind;
  if (InfoCarriesInteger(kind)) {
    event["value"] = InfoValueOf(data);
  } else if (kind == kInfoPingControl && data) {
    event["value"] = *static_cast<const unsigned char*>(data);
  }
  m_events->WriteLine(Dump(event));
}

void HostReceiver::Write(int kind, const CSnsr& record) {
  // Lines are made in a buffer kept per thread: no allocation per record.
  thread_local std::string line;
  line.clear();
  AppendRecordJsonLine(line, kind, record);
  m_records->WriteLine(line);
  m_tally->Count(kind, record);
  for (const auto& service : m_services) service->OnRecord(kind, record);
}

void HostReportSink::OnReport(const Nyx::Report& report) {
  m_board->OnReport(report);
  if (m_events) m_events->WriteLine(Dump(ReportJson(report)));
  for (const auto& service : m_services) service->OnReport(report);
  if (!m_toStderr) return;
  const std::vector<std::string> lines = StderrLines(report);
  std::lock_guard guard(m_lock);
  for (const std::string& line : lines) {
    // Traffic logs carry raw bytes: control characters are shown as dots, not sent to the terminal.
    m_stderrText += CutToColumns(line, std::numeric_limits<int>::max());
    m_stderrText += '\n';
  }
}

int HostReportSink::AnswerMsgBox(const Nyx::Report& report) {
  const bool yesNo = std::find(std::begin(kYesNoBoxes), std::end(kYesNoBoxes), report.channel) != std::end(kYesNoBoxes);
  const int answer = !yesNo ? kAnswerOk : m_msgBoxYes ? kAnswerYes : kAnswerNo;
  Json json = ReportJson(report);
  json["answer"] = answer;
  if (m_events) m_events->WriteLine(Dump(json));
  if (m_toStderr) {
    std::lock_guard guard(m_lock);
    m_stderrText += "nyxhost: message box " + std::to_string(report.channel) + " answered " + std::to_string(answer) +
                    ": " + CutToColumns(report.text, std::numeric_limits<int>::max()) + "\n";
  }
  return answer;
}

// Standard error gets the reports once per trigger, in one write.
void HostReportSink::Flush() {
  std::lock_guard guard(m_lock);
  std::fwrite(m_stderrText.data(), 1, m_stderrText.size(), stderr);
  m_stderrText.clear();
}

std::vector<std::string> HostReportSink::StderrLines(const Nyx::Report& report) {
  std::lock_guard guard(m_lock);
  const auto now = std::chrono::steady_clock::now();
  if (report.kind != Nyx::ReportKind::Status) return m_folder.Take(report, now);
  if (m_statuses.size() > 1024) std::erase_if(m_statuses, [&](const auto& entry) { return now - entry.second > kRepeat; });
  auto [it, added] = m_statuses.try_emplace({report.id, report.text}, now);
  if (!added && now - it->second < kRepeat) return m_folder.Flush(now);
  it->second = now;
  return m_folder.Take(report, now);
}
