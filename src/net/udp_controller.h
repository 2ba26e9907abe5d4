// The window that connects the program to an external sonar controller over
// UDP. Other windows hand it texts to send (info 12020); they go out in
// batches while "Enable UDP Comms" is ticked. Stall and trigger pings that
// arrive become info messages 12003 and 12006; whether ping on demand is in
// force goes to the host as info 12005.
//
// Threads: the host's thread (options, settings, panel, info messages), a
// receive thread and a send thread. Lock order: host lock, batch lock, queue
// lock, packet manager, link locks; the worker threads never wait for the
// host lock while holding another lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "host/nyx_wnd.h"
#include "net/udp_link.h"

class CTskInf;

class CUDPController : public CNyxWnd {
  NYX_DECLARE_DYNCREATE(CUDPController)
 public:
  // Receive buffer of one step; longer datagrams are cut to it.
  static constexpr int kRxBufferSize = 16384;
  // Texts are sent with their NUL in a payload of 1000 bytes.
  static constexpr std::size_t kMaxTextLength = 999;

  CUDPController();
  // Must not be called with the host lock held: the threads may be waiting for it.
  ~CUDPController() override;

  void SetOption(const std::string& key, const std::string& value) override;
  void SetupCtrls() override;
  void OnInfoMsg(int kind, void* data) override;
  void Settings(CESetObj& obj) override;

  // Check box callbacks. Setting m_bEnableUDP takes effect through OnBnEnableUDP.
  void OnBnEnableUDP();
  void OnBnEnablePingOnDemand();
  void OnBnTestReceiveUDPPackets();
  void OnBnTestSendUDPPacket();

  // One send batch, when enabled and texts are waiting.
  void SendUDPData();
  // Sockets to match the link's mode, with the host and ports of the panel.
  void UpdateSockets();
  // One receive step into the caller's buffer: the datagram's length, 0 when
  // none came, or -errno. Steps run one at a time: while the receive thread
  // is in one, another caller gets 0 at once.
  int RxAllDataAndFilter(unsigned char* buffer, int size);

  std::size_t GetQueuedCount();

  std::unique_ptr<CUDPLink> m_pLink;
  std::thread m_hRxThread;
  std::thread m_hTxThread;
  std::atomic<bool> m_bRunning{true};
  int m_bEnableUDP = 0;
  int m_nPingOnDemand = 0;
  CTskInf* m_pTask = nullptr;
  std::timed_mutex m_queueLock;
  std::list<std::string> m_queue;

 private:
  void RxThread();
  void TxThread();
  // UpdateSockets with the end point already taken and the batch lock held.
  void ApplySockets();
  void PublishPingOnDemand();
  // UpdateCtrls from a worker thread, under the host lock.
  void RefreshCtrlsFromWorker();

  // One batch or test send at a time, so the link's mode changes stay whole.
  std::mutex m_batchLock;
  std::mutex m_rxStepLock;

  // The send thread sleeps here until texts wait and sending is enabled.
  std::mutex m_wakeLock;
  std::condition_variable m_wake;
  bool m_sendEnabled = false;  // m_bEnableUDP as the send thread sees it
  bool m_pending = false;
};
