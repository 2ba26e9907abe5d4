#include "net/udp_controller.h"

#include <chrono>
#include <vector>

#include "host/ansi_text.h"
#include "host/report.h"
#include "host/settings.h"
#include "host/task.h"
#include "host/timed_lock.h"

NYX_IMPLEMENT_DYNCREATE(CUDPController, CNyxWnd)

using namespace std::chrono_literals;

namespace {
// How long a receive step waits before the thread looks at m_bRunning again;
// shutdown also cuts it short.
constexpr auto kRxStepWait = 100ms;
constexpr auto kQueueLockWait = 100ms;

// The first characters of a UTF-8 text, at most that many bytes, for a report.
std::string TextHead(const std::string& text, std::size_t bytes) {
  std::size_t cut = 0;
  while (cut < text.size()) {
    const auto lead = static_cast<unsigned char>(text[cut]);
    const std::size_t length = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (cut + length > bytes) break;
    cut += length;
  }
  return text.substr(0, cut);
}
}  // namespace

// Threads keep their default priority: raising it is for the operator to ask.
CUDPController::CUDPController() : m_pLink(std::make_unique<CUDPLink>()) {
  m_hRxThread = std::thread(&CUDPController::RxThread, this);
  m_hTxThread = std::thread(&CUDPController::TxThread, this);
  m_pLink->m_state = 1;
  UpdateSockets();
  Join(s_infoRx, this);
}

CUDPController::~CUDPController() {
  LeaveReceiverLists();
  {
    std::lock_guard guard(m_wakeLock);
    m_bRunning = false;
  }
  m_wake.notify_all();
  m_pLink->Stop();
  if (m_hRxThread.joinable()) m_hRxThread.join();
  if (m_hTxThread.joinable()) m_hTxThread.join();
}

void CUDPController::SetOption(const std::string& key, const std::string& value) {
  CNyxWnd::SetOption(key, value);
  if (key != "Task") return;
  m_pTask = CTask::GetTask(value);
  if (m_pTask && m_pTask->GetData()) {
    m_pTask->GetData()->m_sendTargetData = 0;
    m_pTask->GetData()->m_sendStatusMessages = 0;
  }
}

void CUDPController::Settings(CESetObj& obj) {
  obj.Item("PingOnDemand", m_nPingOnDemand);
  PublishPingOnDemand();
}

// The input fields carry labels of their own so that a command can drive them
// by name; the captions beside them are plain labels.
void CUDPController::SetupCtrls() {
  ClearCtrls();
  ShiftY(2, 5);
  CECtrl* enable = InsCtrl(kCtrlCheck, 180, &m_bEnableUDP, "Enable UDP Comms",
                           "Enable/disable sending/receiving of UDP packets");
  enable->SetCallback([this] { OnBnEnableUDP(); });
  NewLn();
  NewLn();
  InsText(60, "Host");
  InsCtrl(kCtrlValue, 120, &m_pLink->m_host, "UDP Host");
  NewLn();
  InsText(120, "Source Port");
  InsCtrl(kCtrlValue, 60, &m_pLink->m_srcPort, "UDP Source Port");
  NewLn();
  InsText(120, "Destination Port");
  InsCtrl(kCtrlValue, 60, &m_pLink->m_dstPort, "UDP Destination Port");
  if (m_pTask && m_pTask->GetData()) {
    CTaskData* data = m_pTask->GetData();
    NewLn();
    NewLn();
    InsCtrl(kCtrlCheck, 180, &data->m_sendTargetData, "Send Target Data",
            "Enable/disable sending of target data as UDP packets");
    NewLn();
    InsCtrl(kCtrlCheck, 180, &data->m_sendStatusMessages, "Send Status Messages",
            "Enable/disable sending of status updates as UDP packets");
  }
  NewLn();
}

void CUDPController::OnInfoMsg(int kind, void* data) {
  if (kind != kInfoUdpText || !data) return;
  const char* utf8 = static_cast<const char*>(data);
  // The wire carries the original's ANSI text.
  std::string text = Ansi::FromUtf8(utf8);
  if (text.empty()) return;
  // A cut text would reach the controller looking complete, so a text that
  // does not fit one packet is refused, with the reason.
  if (text.size() > kMaxTextLength) {
    Nyx::Alarm(3100, 1, "UDP packet not sent (longer than %zu characters): %s...", kMaxTextLength,
               TextHead(utf8, 40).c_str());
    return;
  }
  // Messages arrive under the host lock, so the panel's fields can be read.
  m_pLink->LatchEndpoint();
  if (!TryLockFor(m_queueLock, kQueueLockWait)) {
    Nyx::Alarm(3100, 1, "UDP packet not sent (lock failed): %s", utf8);
    return;
  }
  m_queue.push_back(std::move(text));
  m_queueLock.unlock();
  {
    std::lock_guard guard(m_wakeLock);
    m_pending = true;
  }
  m_wake.notify_all();
}

void CUDPController::OnBnEnableUDP() {
  m_pLink->LatchEndpoint();
  {
    std::lock_guard guard(m_wakeLock);
    m_sendEnabled = m_bEnableUDP != 0;
  }
  m_wake.notify_all();
  PublishPingOnDemand();
}

void CUDPController::OnBnEnablePingOnDemand() {
  if (m_bEnableUDP) CNyxWnd::InfoMsg(kInfoPingOnDemand, InfoValue(m_nPingOnDemand));
}

void CUDPController::PublishPingOnDemand() {
  CNyxWnd::InfoMsg(kInfoPingOnDemand, InfoValue(m_bEnableUDP ? m_nPingOnDemand : 0));
}

void CUDPController::OnBnTestReceiveUDPPackets() {
  m_pLink->m_state = 1;
  UpdateSockets();
}

void CUDPController::OnBnTestSendUDPPacket() {
  m_pLink->LatchEndpoint();
  std::lock_guard batch(m_batchLock);
  m_pLink->m_state = 0;
  ApplySockets();
  const TimeB64 now = ReadTimeB64();
  const std::string text = Ansi::FromUtf8(m_pLink->GetText());
  m_pLink->m_pManager->SendUnlocked(text.c_str(), static_cast<int>(text.size() + 1), now.millitm * 1000u, now);
  m_pLink->m_state = 1;
  ApplySockets();
}

void CUDPController::UpdateSockets() {
  m_pLink->LatchEndpoint();
  std::lock_guard batch(m_batchLock);
  ApplySockets();
}

void CUDPController::ApplySockets() {
  if (m_pLink->m_state == 1) {
    m_pLink->CloseTxSocket();
    m_pLink->ReopenRxSocket();
  } else {
    m_pLink->CloseRxSocket();
  }
  m_pLink->m_pManager->Reset();
}

void CUDPController::SendUDPData() {
  {
    std::lock_guard guard(m_wakeLock);
    if (!m_sendEnabled) return;
  }
  std::lock_guard batch(m_batchLock);
  {
    std::lock_guard queue(m_queueLock);
    if (m_queue.empty()) return;
  }
  m_pLink->m_state = 0;
  ApplySockets();
  // One clock reading for the whole batch; the milliseconds passed beside it
  // are the same reading's.
  const TimeB64 now = ReadTimeB64();
  const unsigned usec = now.millitm * 1000u;
  {
    std::lock_guard queue(m_queueLock);
    for (const std::string& text : m_queue) {
      m_pLink->m_pManager->SendUnlocked(text.c_str(), static_cast<int>(text.size() + 1), usec, now);
    }
    m_queue.clear();
  }
  m_pLink->m_state = 1;
  ApplySockets();
}

int CUDPController::RxAllDataAndFilter(unsigned char* buffer, int size) {
  std::unique_lock step(m_rxStepLock, std::try_to_lock);
  if (!step || !buffer || size <= 0) return 0;
  const long got = m_pLink->ReceiveStep(buffer, size, kRxStepWait);
  if (got == CUDPLink::kNothing) return 0;
  if (got >= 4 && buffer[0] == 0) m_pLink->m_pManager->ReceivePacket(buffer, static_cast<int>(got));
  RefreshCtrlsFromWorker();
  return static_cast<int>(got);
}

std::size_t CUDPController::GetQueuedCount() {
  std::lock_guard queue(m_queueLock);
  return m_queue.size();
}

void CUDPController::RefreshCtrlsFromWorker() {
  std::lock_guard host(CNyxWnd::HostLock());
  UpdateCtrls();
}

void CUDPController::RxThread() {
  std::vector<unsigned char> buffer(kRxBufferSize);
  while (m_bRunning) RxAllDataAndFilter(buffer.data(), kRxBufferSize);
}

void CUDPController::TxThread() {
  for (;;) {
    {
      std::unique_lock guard(m_wakeLock);
      m_wake.wait(guard, [this] { return !m_bRunning || (m_sendEnabled && m_pending); });
      if (!m_bRunning) return;
      m_pending = false;
    }
    SendUDPData();
  }
}
