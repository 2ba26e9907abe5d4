#include "support/capture.h"

#include "host/records.h"
#include "host/task.h"

void ReportCapture::OnReport(const Nyx::Report& report) {
  std::lock_guard guard(m_lock);
  m_reports.push_back(report);
}

int ReportCapture::AnswerMsgBox(const Nyx::Report& report) {
  OnReport(report);
  return m_msgBoxAnswer;
}

std::vector<Nyx::Report> ReportCapture::All() const {
  std::lock_guard guard(m_lock);
  return m_reports;
}

std::vector<Nyx::Report> ReportCapture::Of(Nyx::ReportKind kind, int id) const {
  std::vector<Nyx::Report> out;
  for (const auto& report : All()) {
    if (report.kind == kind && (id == kAnyId || report.id == id)) out.push_back(report);
  }
  return out;
}

void ReportCapture::Clear() {
  std::lock_guard guard(m_lock);
  m_reports.clear();
}

RecordCollector::RecordCollector() {
  Join(s_snsrRx, this);
  Join(s_infoRx, this);
}

RecordCollector::~RecordCollector() { LeaveReceiverLists(); }

void RecordCollector::OnSnsrMsg(int kind, void* record) {
  std::string line = RecordJsonLine(kind, *static_cast<const CSnsr*>(record));
  auto parsed = nlohmann::json::parse(line);
  std::lock_guard guard(m_lock);
  m_received.push_back({kind, std::move(parsed), std::move(line), 0});
}

void RecordCollector::OnInfoMsg(int kind, void* data) {
  ReceivedMsg msg{kind, nullptr, {}, 0};
  if (kind == kInfoTargetData || kind == kInfoStallPing) {
    msg.line = RecordJsonLine(kind, *static_cast<const CSnsr*>(data));
    msg.record = nlohmann::json::parse(msg.line);
  } else {
    msg.value = InfoValueOf(data);
  }
  std::lock_guard guard(m_lock);
  m_received.push_back(std::move(msg));
}

std::vector<ReceivedMsg> RecordCollector::All() const {
  std::lock_guard guard(m_lock);
  return m_received;
}

std::vector<nlohmann::json> RecordCollector::Records(int kind) const {
  std::vector<nlohmann::json> out;
  for (const auto& msg : Infos(kind)) {
    if (!msg.record.is_null()) out.push_back(msg.record);
  }
  return out;
}

std::vector<ReceivedMsg> RecordCollector::Infos(int kind) const {
  std::vector<ReceivedMsg> out;
  for (const auto& msg : All()) {
    if (msg.kind == kind) out.push_back(msg);
  }
  return out;
}

void RecordCollector::Clear() {
  std::lock_guard guard(m_lock);
  m_received.clear();
}

std::vector<unsigned char> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

ScopedTasks::~ScopedTasks() { CTask::RemoveAll(); }

CTaskData& ScopedTasks::Add(const std::string& name, const std::string& type) {
  return *CTask::AddTask(name, type)->GetData();
}
