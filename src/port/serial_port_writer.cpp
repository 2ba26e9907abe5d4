// The writing side of a COM line: texts handed to the encoder, the writer
// thread, direct writes, and the alarms of data lost on the way in or out.
#include <pthread.h>

#include <cerrno>
#include <iterator>
#include <system_error>

#include "host/ansi_text.h"
#include "host/host_time.h"
#include "host/report.h"
#include "host/timed_lock.h"
#include "port/serial_port.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kEncoderTry = 50ms;
constexpr auto kWritePerByte = 10ms;

void NameThread(const char* name) { pthread_setname_np(pthread_self(), name); }

}  // namespace

int CSPort::SendEncodeData(std::string& text) {
  if (text.empty()) return 0;
  std::list<std::string> texts{text};
  return SendEncodeData(texts);
}

int CSPort::SendEncodeData(std::list<std::string>& texts) {
  CEncode* encoder = m_port.m_pEncode.get();
  if (!encoder || texts.empty()) return 0;
  // Texts for a line that has no writer (off, not open, failed, or decoding)
  // would wait for ever: they are counted as lost instead, and left to a
  // later line of the same kind.
  if (!HasWriter()) {
    m_textsLost += static_cast<long>(texts.size());
    return 0;
  }
  std::unique_lock lock(encoder->m_lock, std::defer_lock);
  if (!TryLockFor(lock, kEncoderTry)) return 0;
  m_port.UpdateUIAgeLEDHz(TmSync::GetTm());
  m_port.m_lastMsg = Ansi::ToUtf8(texts.front());
  encoder->m_outgoing.splice(encoder->m_outgoing.end(), texts);
  // A writer that cannot keep up loses the oldest texts, not the memory.
  while (encoder->m_outgoing.size() > kMaxOutgoing) {
    encoder->m_outgoing.pop_front();
    ++m_textsLost;
  }
  m_wake.Set();
  return 1;
}

bool CSPort::HasWriter() const {
  return m_device && !m_lost && !m_failed && m_port.m_decode == 0 && m_port.m_encode != 0;
}

void CSPort::ReportLosses() {
  // A write holds the queue lock for as long as it waits: the count can wait
  // for the next trigger.
  long lapped = 0;
  const bool counted = m_queueLock.try_lock();
  if (counted) {
    lapped = m_lapped;
    m_lapped = 0;
    m_queueLock.unlock();
  }
  const struct {
    int id;
    long now;
    long& total;
    bool& up;
    const char* what;
  } losses[] = {{kLapAlarm, lapped, m_lappedTotal, m_lapAlarmUp, "bytes lost to queue overrun"},
                {kTextsAlarm, m_textsLost, m_textsLostTotal, m_textsAlarmUp, "texts not sent"}};
  m_textsLost = 0;
  for (const auto& loss : losses) {
    if (loss.id == kLapAlarm && !counted) continue;
    if (loss.now > 0) {
      loss.total += loss.now;
      loss.up = true;
      Nyx::Alarm(loss.id, 2, "Serial Comms %ld %s [%s]", loss.total, loss.what, m_deviceName.c_str());
    } else if (loss.up) {
      loss.up = false;
      Nyx::EndAlarm(loss.id);
    }
  }
}

void CSPort::WriterThread(ILineOwner* owner, ISerialDevice* device, unsigned index, std::string name) {
  NameThread("SetCommEncode");
  if (!owner) return;
  Nyx::Status(9010 + static_cast<int>(index), 2, "Serial Comms Start [%s]", name.c_str());
  int dropped = 0;
  while (m_running) {
    m_wake.Wait();
    std::list<std::string> texts;
    {
      // The port's lock keeps the encoder from being replaced while it is used.
      std::unique_lock portLock(m_port.m_lock, std::defer_lock);
      if (!TryLockFor(portLock, kEncoderTry)) continue;
      CEncode* encoder = m_port.m_pEncode.get();
      if (!encoder) {
        // Nothing to send from; wait for the next wake (a stop sets running
        // first, so it is never missed).
        m_wake.Reset();
        continue;
      }
      std::unique_lock lock(encoder->m_lock, std::defer_lock);
      if (!TryLockFor(lock, kEncoderTry)) continue;
      // Take the texts and let the trigger queue more while these are written.
      texts.swap(encoder->m_outgoing);
      m_wake.Reset();
    }
    auto text = texts.begin();
    for (; text != texts.end() && m_running; ++text) {
      if (text->empty()) continue;
      WriteText(text->c_str(), device, index, name, true);
      std::lock_guard guard(m_sentLock);
      m_sent = 1;
    }
    dropped += static_cast<int>(std::distance(text, texts.end()));
  }
  // A stop does not wait for a backlog: what is left goes, counted once.
  std::unique_lock portLock(m_port.m_lock, std::defer_lock);
  CEncode* encoder = TryLockFor(portLock, kEncoderTry) ? m_port.m_pEncode.get() : nullptr;
  if (encoder && TryLockFor(encoder->m_lock, kEncoderTry)) {
    dropped += static_cast<int>(encoder->m_outgoing.size());
    encoder->m_outgoing.clear();
    encoder->m_lock.unlock();
  }
  if (dropped > 0) {
    Nyx::Status(9070 + static_cast<int>(index), 2, "Serial Comms Dropped %d texts [%s]", dropped, name.c_str());
  }
  Nyx::Status(9030 + static_cast<int>(index), 2, "Serial Comms End [%s]", name.c_str());
}

void CSPort::SendData(const char* text) {
  WriteText(text ? text : "", m_device.get(), m_port.m_index, m_deviceName, false);
}

void CSPort::WriteText(const char* text, ISerialDevice* device, unsigned index, const std::string& name,
                       bool fromWriter) {
  try {
    std::lock_guard guard(m_queueLock);
    // The panel reads the port's last message on the host thread, so the
    // writer thread's text reaches it through the trigger.
    if (fromWriter) {
      std::lock_guard sentGuard(m_sentLock);
      m_sentText = Ansi::ToUtf8(text);
    } else {
      m_port.m_lastMsg = Ansi::ToUtf8(text);
    }
    const std::size_t length = std::char_traits<char>::length(text);
    if (device && length > 0) WriteBytes(text, static_cast<int>(length), device, index, name);
  } catch (const std::system_error&) {
    Nyx::Alarm(3060, 1, "Cannot add serial data to buffer - buffer locked");
  }
}

void CSPort::SendData(TX_MSG* msg) {
  if (!m_device || !msg || msg->m_nLength <= 0 || !msg->m_pData) return;
  WriteBytes(msg->m_pData, msg->m_nLength, m_device.get(), m_port.m_index, m_deviceName);
}

void CSPort::WriteBytes(const char* bytes, int count, ISerialDevice* device, unsigned index, const std::string& name) {
  const long written = device->Write(bytes, static_cast<std::size_t>(count), count * kWritePerByte);
  // A device that refuses writes is gone (a full line only writes less).
  if (written < 0 && written != -EAGAIN) LineFailed(0);
  Nyx::Status(9050 + static_cast<int>(index), 2, "Serial Comms Sent %d chars [%s]", written > 0 ? static_cast<int>(written) : 0,
              name.c_str());
}
