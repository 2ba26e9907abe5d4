#include "port/serial_port.h"

#include <pthread.h>

#include <cstdio>
#include <system_error>
#include <vector>

#include "host/controls.h"
#include "host/host_time.h"
#include "host/report.h"
#include "host/settings.h"
#include "host/timed_lock.h"
#include "port/com_port_map.h"
#include "port/line_owner.h"

NYX_IMPLEMENT_DYNCREATE(CSPort, CObject)

namespace {

using namespace std::chrono_literals;

constexpr int kMaxComPort = 128;
constexpr auto kQueueTry = 10ms;
constexpr int kTimeoutsBeforeFreshRead = 5;

std::string ComName(int n) {
  char text[32];
  std::snprintf(text, sizeof text, "COM%d", n);
  return text;
}

void NameThread(const char* name) { pthread_setname_np(pthread_self(), name); }

}  // namespace

CSPort::CSPort() {
  m_port.m_sync = 1;
  m_port.m_syncChar = 10;
  SetComm(0);
}

CSPort::~CSPort() {
  // The controls belong to the window, which may be going away too.
  m_inputCtrls.RemoveAll();
  m_outputCtrls.RemoveAll();
  SetComm(0);
}

void CSPort::Settings(CESetObj& obj) {
  obj.Item("CommPort", m_commPort);
  obj.Item("DCB_Baud", m_dcb.BaudRate);
  obj.Item("DCB_Parity", m_dcb.Parity);
  obj.Item("DCB_StopBits", m_dcb.StopBits);
  obj.Item("DCB_ByteSize", m_dcb.ByteSize);
  m_dcb.EvtChar = static_cast<char>(m_port.m_syncChar);
  m_port.Settings(obj);
  if (obj.IsLoading()) SetComm(m_commPort);
}

void CSPort::SetDefaults() {
  m_dcb.BaudRate = 9600;
  m_dcb.Parity = 0;
  m_dcb.StopBits = 0;
  m_dcb.ByteSize = 8;
  m_dcb.EvtChar = static_cast<char>(m_port.m_syncChar);
  m_port.m_syncChar = 10;
  m_port.m_sync = 1;
  m_commPort = 0;
  SetComm(0);
}

void CSPort::Close() {
  if (m_running.exchange(0) != 0 || m_thread.joinable()) {
    m_wake.Set();
    if (m_device) m_device->Wake();
    // Joining (rather than waiting a fixed time) guarantees the thread is
    // done with the device before it is closed; the wake makes it prompt.
    if (m_thread.joinable()) m_thread.join();
  }
  m_device.reset();
}

void CSPort::SetComm(int n) {
  Close();
  m_lost = false;
  m_failed = false;
  m_openedPort = 0;
  {
    std::unique_lock lock(m_queueLock, std::defer_lock);
    if (TryLockFor(lock, kQueueTry)) {
      m_readPos = m_writePos;
      m_sinceDrain = 0;
    }
  }
  m_port.m_hz = "0.0";
  if (n <= 0) {
    m_port.m_status = kLightGrey;
    m_port.m_lastMsg.clear();
    ShowPortControls();
    return;
  }

  m_deviceName = ComPortMap::Path(n);
  // Bits of one character on the line: start, data and stop (the stop-bits code
  // counts as the platform gives it).
  m_port.m_charTime = m_dcb.BaudRate > 0 ? (m_dcb.ByteSize + m_dcb.StopBits + 1.0) / m_dcb.BaudRate : 0.0;
  m_openedPort = n;
  m_failAlarm = 0;
  if (!OpenLine()) {
    m_failAlarm = 99999;
    char text[64];
    std::snprintf(text, sizeof text, "Unable to open COM%d", n);
    m_port.m_lastMsg = text;
    m_port.m_status = kLightRed;
    Nyx::Alarm(99999, 1, "Unable to open COM%d", n);
  }
  ShowPortControls();
}

bool CSPort::OpenLine() {
  // The path is opened afresh each time, so a symbolic link is followed to
  // wherever it points now.
  int error = 0;
  std::unique_ptr<ISerialDevice> device = m_openDevice(m_deviceName, error);
  m_retryAt = std::chrono::steady_clock::now() + m_retryWait;
  if (!device) {
    m_openError = error;
    m_lost = true;
    return false;
  }
  m_lost = false;
  m_openError = 0;
  m_device = std::move(device);
  // The line's own state, with the stored rate and framing put back.
  SerialDcb state = m_dcb;
  m_device->GetState(state);
  state.BaudRate = m_dcb.BaudRate;
  state.ByteSize = m_dcb.ByteSize;
  state.Parity = m_dcb.Parity;
  state.StopBits = m_dcb.StopBits;
  m_dcb = state;
  m_configError = m_device->SetState(m_dcb);
  m_port.m_status = kLightGrey;
  m_port.m_lastMsg.clear();
  SetupHandshaking(kHandshakeOff);
  // Handshaking off lowers DTR, but a pulse circuit is often powered from it.
  if (m_port.m_decode != 0 && m_port.m_pDecode && m_port.m_pDecode->m_name.find("PPS") != std::string::npos) {
    m_dcb.fDtrControl = 1;
    m_configError = m_device->SetState(m_dcb);
  }
  m_running = 1;
  m_wake.Set();
  StartThread();
  return true;
}

void CSPort::RetryLine() {
  // A device that failed while open is closed and tried again like one that
  // never opened.
  if (m_failed.exchange(false)) {
    Close();
    m_lost = true;
    m_port.m_status = kLightRed;
    m_retryAt = std::chrono::steady_clock::now() + m_retryWait;
  }
  if (!m_lost || m_openedPort <= 0 || std::chrono::steady_clock::now() < m_retryAt) return;
  if (!OpenLine()) return;
  if (m_failAlarm != 0) Nyx::EndAlarm(m_failAlarm);
  m_failAlarm = 0;
  Nyx::Status(9090 + static_cast<int>(m_port.m_index), 2, "Serial Comms Reopened [%s]", m_deviceName.c_str());
}

void CSPort::StartThread() {
  RefreshDecoding();
  m_fillReads = m_timeouts.ReadIntervalTimeout == 0 && m_timeouts.ReadTotalTimeoutMultiplier == 0 &&
                m_timeouts.ReadTotalTimeoutConstant == 0;
  auto* owner = dynamic_cast<ILineOwner*>(m_port.m_pOwner);
  // A line that both decodes and encodes only reads.
  m_reading = m_port.m_decode != 0;
  if (m_reading) {
    m_thread = std::thread(&CSPort::ReaderThread, this, owner, m_device.get(), m_deviceName);
  } else if (m_port.m_encode != 0) {
    m_thread = std::thread(&CSPort::WriterThread, this, owner, m_device.get(), m_port.m_index, m_deviceName);
  }
}

void CSPort::ShowPortControls() {
  const bool shown = m_commPort > 0;
  const bool redraw = m_port.m_pOwner && m_port.m_pOwner->WindowExists();
  for (auto* list : {&m_inputCtrls, &m_outputCtrls}) {
    for (CECtrl* ctrl : *list) {
      ctrl->SetFlag(kCtrlShown, shown);
      if (redraw) ctrl->Redraw();
    }
  }
}

void CSPort::CfgPrt() {
  if (m_commPort == 0) return;
  SetComm(0);
  SetComm(m_commPort);
}

void CSPort::RefreshDecoding() {
  const bool decoding = m_port.m_decode != 0 && m_port.m_pDecode != nullptr;
  // Either way the reader looks again at once: to resume reading, or to stop
  // taking bytes that no decoder will see.
  if (m_decoding.exchange(decoding) != decoding && m_device) m_device->Wake();
}

void CSPort::ReaderThread(ILineOwner* owner, ISerialDevice* device, std::string name) {
  NameThread("SetCommDecode");
  if (!owner) return;
  std::array<unsigned char, kReadSize> buffer;
  std::size_t fill = 0;
  int pending = 0;
  // Bytes of a completed read; with blocking time-outs a read completes full.
  auto take = [&](long count) {
    fill += static_cast<std::size_t>(count);
    if (m_fillReads && fill < buffer.size()) return false;
    QueueRead(owner, buffer.data(), fill);
    fill = 0;
    return true;
  };

  while (m_running) {
    if (!m_decoding) {
      // No decoder (it was set to none while the line was open): idle until
      // woken or a while has passed, then look again.
      device->WaitReadable(m_readWait, false);
      continue;
    }
    if (pending == 0) {
      const long count = device->Read(buffer.data() + fill, buffer.size() - fill);
      if (count < 0) {
        Nyx::Alarm(3030, 3, "Comms Error [%s]", Nyx::ErrorString(static_cast<int>(-count)).c_str());
        return LineFailed(3030);
      }
      if (count > 0 && take(count)) continue;
      pending = 1;
    }
    switch (device->WaitReadable(m_readWait, true)) {
      case ISerialDevice::Wait::Readable: {
        const long count = device->Read(buffer.data() + fill, buffer.size() - fill);
        if (count < 0) {
          Nyx::Alarm(3040, 3, "Error: While waiting on read [%s]", Nyx::ErrorString(static_cast<int>(-count)).c_str());
          return LineFailed(3040);
        }
        // A read still filling keeps waiting, with a fresh count of time-outs.
        pending = count > 0 && take(count) ? 0 : 1;
        break;
      }
      case ISerialDevice::Wait::TimedOut:
        Nyx::Status(9040, 2, "Serial Comms Timeout [%s]", name.c_str());
        if (++pending > kTimeoutsBeforeFreshRead) pending = 0;
        break;
      case ISerialDevice::Wait::Woken:
        break;
      case ISerialDevice::Wait::Failed:
        Nyx::Alarm(3050, 3, "Error: In Overlapped Event");
        return LineFailed(3050);
    }
  }
}

void CSPort::LineFailed(int alarm) {
  m_failAlarm = alarm;
  m_failed = true;
}

void CSPort::QueueRead(ILineOwner* owner, const unsigned char* bytes, std::size_t count) {
  // Bytes that arrive while comms are off are dropped.
  if (!owner->CommsEnabled()) return;
  NewBytes(TmSync::GetTm(), bytes, count);
}

void CSPort::NewByte(double time, unsigned char byte) { NewBytes(time, &byte, 1); }

void CSPort::NewBytes(double time, const unsigned char* bytes, std::size_t count) {
  try {
    std::lock_guard guard(m_queueLock);
    int writePos = m_writePos;
    for (std::size_t i = 0; i < count; ++i) {
      m_queue[static_cast<std::size_t>(writePos)] = {time, bytes[i]};
      if (++writePos == kQueueSize) writePos = 0;
      // The write position reaching the read position again wipes a whole lap.
      if (++m_sinceDrain == kQueueSize) {
        m_sinceDrain = 0;
        m_lapped += kQueueSize;
      }
    }
    m_writePos = writePos;
  } catch (const std::system_error&) {
    for (std::size_t i = 0; i < count; ++i) Nyx::Alarm(3060, 1, "Cannot add serial data to buffer - buffer locked");
  }
}

int CSPort::GetQueuedCount() {
  std::lock_guard guard(m_queueLock);
  return (m_writePos - m_readPos + kQueueSize) % kQueueSize;
}

int CSPort::OnTrigger(double now, double dt) {
  ReportLosses();
  if (m_commPort == 0) return 0;
  RetryLine();
  RefreshDecoding();
  // A decoder chosen on a line opened without one: the line reopens with a reader.
  if (m_decoding && m_device && !m_reading) SetComm(m_commPort);
  int changed = m_port.SetDataAge(now);
  std::unique_lock lock(m_queueLock, std::defer_lock);
  if (!TryLockFor(lock, kQueueTry)) return changed > 0;

  if (m_port.m_decode != 0 && m_port.m_pDecode) {
    // Copy the entries up to the write position while holding the lock: the
    // reader may lap the ring meanwhile, and must not write what is being read.
    const int end = m_writePos;
    m_sinceDrain = 0;
    std::vector<QueueEntry>& entries = m_drained;
    entries.clear();
    if (end >= m_readPos) {
      entries.insert(entries.end(), m_queue.begin() + m_readPos, m_queue.begin() + end);
    } else {
      entries.insert(entries.end(), m_queue.begin() + m_readPos, m_queue.end());
      entries.insert(entries.end(), m_queue.begin(), m_queue.begin() + end);
    }
    lock.unlock();
    for (const QueueEntry& entry : entries) {
      changed += m_port.NewByte(entry.time, entry.byte);
      if (++m_readPos == kQueueSize) m_readPos = 0;
    }
    // A decoder replaced by one of the messages is the one that gets the trigger.
    if (m_port.m_pDecode) m_port.m_pDecode->OnTrigger(now, dt);
    return changed > 0;
  }
  lock.unlock();
  if (m_port.m_encode != 0 && m_port.m_pEncode) {
    std::optional<std::string> sentText;
    int sent = 0;
    {
      std::lock_guard guard(m_sentLock);
      sent = m_sent;
      m_sent = 0;
      sentText.swap(m_sentText);
    }
    if (sentText) m_port.m_lastMsg = std::move(*sentText);
    if (sent) ++changed;
  }
  return changed > 0;
}

long CSPort::SetupHandshaking(int handshake) {
  m_lastError = 0;
  if (!m_device) return m_lastError = kErrorInvalidHandle;
  if (const int error = m_device->GetState(m_dcb)) return m_lastError = static_cast<unsigned>(error);
  switch (handshake) {
    case kHandshakeOff:
      m_dcb.fOutxCtsFlow = false;
      m_dcb.fOutxDsrFlow = false;
      m_dcb.fDtrControl = 0;
      m_dcb.fOutX = false;
      m_dcb.fInX = false;
      m_dcb.fRtsControl = 0;
      break;
    case kHandshakeHardware:
      m_dcb.fOutxCtsFlow = true;
      m_dcb.fOutxDsrFlow = true;
      m_dcb.fDtrControl = 2;
      m_dcb.fRtsControl = 2;
      m_dcb.fOutX = false;
      m_dcb.fInX = false;
      break;
    case kHandshakeSoftware:
      m_dcb.fOutX = true;
      m_dcb.fInX = true;
      m_dcb.fOutxCtsFlow = false;
      m_dcb.fOutxDsrFlow = false;
      m_dcb.fDtrControl = 0;
      m_dcb.fRtsControl = 0;
      break;
    default:
      return m_lastError = kErrorInvalidArgument;
  }
  if (const int error = m_device->SetState(m_dcb)) return m_lastError = static_cast<unsigned>(error);
  return 0;
}

long CSPort::SetupReadTimeouts(int readTimeout) {
  m_lastError = 0;
  if (!m_device) return m_lastError = kErrorInvalidHandle;
  SerialTimeouts timeouts = m_timeouts;
  switch (readTimeout) {
    case kReadReturnAtOnce: timeouts.ReadIntervalTimeout = kMaxDword; break;
    case kReadBlocking: timeouts.ReadIntervalTimeout = 0; break;
    default: return m_lastError = kErrorInvalidArgument;
  }
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  m_timeouts = timeouts;
  // The reader waits for input itself; what the time-outs decide is whether a
  // read completes with the first bytes or only with a full buffer.
  m_fillReads = m_timeouts.ReadIntervalTimeout == 0;
  return 0;
}

bool CSPort::SetupPortForHandshaking(bool) { return m_device && SetupHandshaking(kHandshakeOff) == 0; }

bool CSPort::ReadModemLines(int& bits) {
  m_lastError = 0;
  if (!m_device) {
    m_lastError = kErrorInvalidHandle;
    return false;
  }
  if (const int error = m_device->GetModemBits(bits)) {
    m_lastError = static_cast<unsigned>(error);
    return false;
  }
  return true;
}

bool CSPort::ChangeModemLine(int line, bool on) {
  int bits = 0;
  if (!ReadModemLines(bits)) return false;
  if (const int error = on ? m_device->SetModemBits(line) : m_device->ClearModemBits(line)) {
    m_lastError = static_cast<unsigned>(error);
    return false;
  }
  return true;
}

bool CSPort::SetRTS(bool on) { return ChangeModemLine(kModemRts, on); }
bool CSPort::SetDTR() { return ChangeModemLine(kModemDtr, true); }
bool CSPort::ClearDTR() { return ChangeModemLine(kModemDtr, false); }

bool CSPort::GetCTS() {
  int bits = 0;
  return ReadModemLines(bits) && (bits & kModemCts) != 0;
}

int CSPort::PopulateCOMPortList(CECombo& list, void*) {
  list.AddValue("Off", 0);
  int selected = static_cast<int>(list.GetEntries().size()) - 1;
  for (int n = 1; n <= kMaxComPort; ++n) {
    // The line's own port is open, so it cannot be probed; it is listed anyway.
    if (n != m_commPort && !SerialDevice::Probe(ComPortMap::Path(n))) continue;
    list.AddValue(ComName(n), n);
    if (n == m_commPort) selected = static_cast<int>(list.GetEntries().size()) - 1;
  }
  return selected;
}
