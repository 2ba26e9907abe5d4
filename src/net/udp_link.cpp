#include "net/udp_link.h"

#include <algorithm>
#include <cerrno>
#include <thread>

CUDPLink::CUDPLink() : m_pManager(std::make_unique<CFramedSerialPacketManager>()) {
  m_pManager->m_pLink = this;
  LatchEndpoint();
}

// The sockets close with their objects.
CUDPLink::~CUDPLink() { Stop(); }

void CUDPLink::LatchEndpoint() {
  std::lock_guard guard(m_endpointLock);
  m_endpoint = UdpEndpoint{m_host, m_srcPort, m_dstPort};
}

UdpEndpoint CUDPLink::GetEndpoint() const {
  std::lock_guard guard(m_endpointLock);
  return m_endpoint;
}

void CUDPLink::Transmit(const unsigned char* data, int count) {
  if (m_state.load() != 0 || !data || count <= 0) return;
  std::lock_guard guard(m_lock);
  const UdpEndpoint endpoint = GetEndpoint();
  if (m_txSocket.IsOpen() && m_txBoundPort != endpoint.srcPort) m_txSocket.Close();
  if (!m_txSocket.IsOpen()) {
    if (m_txSocket.Open(endpoint.srcPort) != 0) return;
    m_txBoundPort = endpoint.srcPort;
  }
  // One name lookup per send socket, not per packet: a batch may hold many.
  if (!m_txAddressValid || m_txAddressFor.host != endpoint.host || m_txAddressFor.dstPort != endpoint.dstPort) {
    m_txAddressFor = endpoint;
    m_txAddressValid = LookUp(endpoint.host, endpoint.dstPort, m_txAddress);
    if (!m_txAddressValid) return;
  }
  m_txSocket.SendTo(m_txAddress, data, static_cast<std::size_t>(count));
}

void CUDPLink::CloseTxSocket() {
  std::lock_guard guard(m_lock);
  m_txSocket.Close();
  m_txAddressValid = false;
}

CUDPLink::RxChange::RxChange(CUDPLink& link) : m_link(link) {
  ++m_link.m_rxChanges;
  m_link.m_rxWake.Signal();
  m_guard = std::unique_lock(m_link.m_rxLock);
}

CUDPLink::RxChange::~RxChange() {
  --m_link.m_rxChanges;
  m_guard.unlock();
  m_link.m_rxTurn.notify_all();
}

void CUDPLink::CloseRxSocket() {
  RxChange change(*this);
  CloseRxLocked();
}

void CUDPLink::ReopenRxSocket() {
  RxChange change(*this);
  CloseRxLocked();
  OpenRxLocked();
}

void CUDPLink::CloseRxLocked() {
  m_bRxReady = false;
  if (m_rxSocket.IsOpen() && m_rxSocket.Close() != 0) {
    std::lock_guard guard(m_textLock);
    m_status = "Rx Socket Close failure";
  }
}

void CUDPLink::OpenRxLocked() {
  if (m_bRxReady) return;
  UdpAddress ignored;
  const std::string localName = LocalHostName();
  if (localName.empty() || !LookUp(localName, 0, ignored)) return;
  if (m_rxSocket.Open(GetEndpoint().dstPort, m_rxBind) != 0) return;
  // The system caps the size at its own limit without failing.
  if (m_rxSocket.SetReceiveBuffer(kRxBufferBytes) != 0) {
    m_rxSocket.Close();
    return;
  }
  m_bRxReady = true;
}

long CUDPLink::ReceiveStep(unsigned char* buffer, int size, std::chrono::milliseconds wait) {
  std::unique_lock guard(m_rxLock);
  m_rxTurn.wait(guard, [this] { return m_rxChanges.load() == 0 || m_stopping.load(); });
  if (m_stopping) return kNothing;
  const auto receiving = [this] { return m_state.load() == 1 && m_bRxReady.load(); };
  if (!receiving()) {
    m_rxTurn.wait_for(guard, wait, [&] { return m_stopping.load() || m_rxChanges.load() > 0 || receiving(); });
    return kNothing;
  }
  switch (WaitReadable(m_rxSocket.Fd(), m_rxWake, wait)) {
    case WaitResult::Woken:
      m_rxWake.Clear();
      return kNothing;
    case WaitResult::Timeout:
      return kNothing;
    case WaitResult::Error:
      m_rxTurn.wait_for(guard, wait, [this] { return m_stopping.load() || m_rxChanges.load() > 0; });
      return kNothing;
    case WaitResult::Readable:
      break;
  }
  UdpAddress from;
  const long got = m_rxSocket.Receive(buffer, size > 0 ? static_cast<std::size_t>(size) : 0, &from);
  if (got >= 0 && !Allowed(from)) {
    const long refused = ++m_refused;
    std::lock_guard text(m_textLock);
    m_status = "Dropped " + std::to_string(refused) + " datagrams from other senders";
    return kNothing;
  }
  return got == -EAGAIN || got == -EWOULDBLOCK ? kNothing : got;
}

bool CUDPLink::Allowed(const UdpAddress& from) const {
  return m_rxAllow.empty() ||
         std::find(m_rxAllow.begin(), m_rxAllow.end(), from.addr.sin_addr.s_addr) != m_rxAllow.end();
}

void CUDPLink::SetReceivePolicy(std::string bindAddress, std::vector<std::uint32_t> allowedSenders) {
  RxChange change(*this);
  m_rxBind = std::move(bindAddress);
  m_rxAllow = std::move(allowedSenders);
  if (m_bRxReady) {
    CloseRxLocked();
    OpenRxLocked();
  }
}

bool CUDPLink::LookUp(const std::string& host, int port, UdpAddress& out) {
  struct Pending {
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    bool found = false;
    UdpAddress address;
  };
  if (m_stopping) return false;
  auto pending = std::make_shared<Pending>();
  std::thread([pending, resolve = m_resolve, host, port] {
    UdpAddress address;
    const bool found = resolve(host, port, address);
    std::lock_guard guard(pending->lock);
    pending->finished = true;
    pending->found = found;
    pending->address = address;
    pending->done.notify_all();
  }).detach();
  std::unique_lock guard(pending->lock);
  // Stop cannot reach this wait, so it looks at the flag a few times a second.
  while (!pending->done.wait_for(guard, std::chrono::milliseconds(50), [&] { return pending->finished; })) {
    if (m_stopping) return false;
  }
  out = pending->address;
  return pending->found;
}

void CUDPLink::Stop() {
  m_stopping = true;
  m_rxWake.Signal();
  { std::lock_guard guard(m_rxLock); }
  m_rxTurn.notify_all();
}

void CUDPLink::SetText(std::string text) {
  std::lock_guard guard(m_textLock);
  m_text = std::move(text);
}

std::string CUDPLink::GetText() const {
  std::lock_guard guard(m_textLock);
  return m_text;
}

std::string CUDPLink::GetStatus() const {
  std::lock_guard guard(m_textLock);
  return m_status;
}
