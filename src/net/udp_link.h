// The UDP end point of the controller window: destination host, two ports,
// a send socket and a receive socket, and the packet manager. The link is in
// receive mode between send batches (receive socket open, no send socket)
// and in send mode during a batch (no receive socket).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/framed_packet_manager.h"
#include "net/udp_socket.h"

// Host and ports as the sockets use them.
struct UdpEndpoint {
  std::string host;
  int srcPort = 0;
  int dstPort = 0;
};

class CUDPLink {
 public:
  static constexpr int kRxBufferBytes = 0xFFFFFF;
  // ReceiveStep's result when no datagram came.
  static constexpr long kNothing = -1'000'000;

  CUDPLink();
  ~CUDPLink();
  CUDPLink(const CUDPLink&) = delete;
  CUDPLink& operator=(const CUDPLink&) = delete;

  // m_host, m_srcPort and m_dstPort belong to the host's thread (the panel
  // edits them); the sockets use the copy taken here. Call it on that thread.
  void LatchEndpoint();
  UdpEndpoint GetEndpoint() const;

  // Sends one built packet to the host's destination port; only in send mode.
  void Transmit(const unsigned char* data, int count);

  // Socket changes of UpdateSockets; a receive step that is waiting is cut
  // short and the change waits for it.
  void CloseTxSocket();
  void CloseRxSocket();
  void ReopenRxSocket();

  // Waits up to wait for one datagram on the receive socket (or, when it is
  // not open or the link is sending, for that to change) and takes it: its
  // length, kNothing, or -errno after a receive error (which the socket clears).
  long ReceiveStep(unsigned char* buffer, int size, std::chrono::milliseconds wait);
  // Ends every present and later ReceiveStep at once; for shutting down.
  void Stop();

  // Where the receive socket binds ("" every address) and the senders whose
  // datagrams it takes (network order; none listed: any). Reopens the
  // receive socket when it is open.
  void SetReceivePolicy(std::string bindAddress, std::vector<std::uint32_t> allowedSenders);
  // Datagrams dropped for coming from a sender not allowed.
  long RefusedCount() const { return m_refused.load(); }

  // The name look-up the link uses (host, port, result); replaceable for tests.
  std::function<bool(const std::string&, int, UdpAddress&)> m_resolve = [](const std::string& host, int port,
                                                                             UdpAddress& out) {
    return ResolveUdpAddress(host, port, out);
  };

  // The last received payload text.
  void SetText(std::string text);
  std::string GetText() const;
  // The link's status line (socket trouble).
  std::string GetStatus() const;

  std::atomic<int> m_state{1};  // 1 receive, 0 send
  std::unique_ptr<CFramedSerialPacketManager> m_pManager;
  std::string m_host = "localhost";
  int m_srcPort = 52904;
  int m_dstPort = 52905;
  std::timed_mutex m_lock;  // guards the send socket
  CUdpSocket m_txSocket;
  std::atomic<bool> m_bRxReady{false};
  CUdpSocket m_rxSocket;

 private:
  // Socket changes enter here; the receive step lets them go first.
  class RxChange {
   public:
    explicit RxChange(CUDPLink& link);
    ~RxChange();

   private:
    CUDPLink& m_link;
    std::unique_lock<std::mutex> m_guard;
  };

  void CloseRxLocked();
  void OpenRxLocked();
  // m_resolve on a thread of its own: a stop does not wait for a resolver
  // that hangs (the look-up is left to finish on its own).
  bool LookUp(const std::string& host, int port, UdpAddress& out);
  bool Allowed(const UdpAddress& from) const;

  std::string m_rxBind;                 // guarded by m_rxLock
  std::vector<std::uint32_t> m_rxAllow;  // guarded by m_rxLock
  std::atomic<long> m_refused{0};

  mutable std::mutex m_endpointLock;
  UdpEndpoint m_endpoint;

  int m_txBoundPort = -1;
  bool m_txAddressValid = false;
  UdpEndpoint m_txAddressFor;
  UdpAddress m_txAddress;

  std::mutex m_rxLock;  // guards m_rxSocket and m_bRxReady changes
  std::condition_variable m_rxTurn;
  std::atomic<int> m_rxChanges{0};
  std::atomic<bool> m_stopping{false};
  CWakeFd m_rxWake;

  mutable std::mutex m_textLock;
  std::string m_text = "Sonar is idle";
  std::string m_status;
};
