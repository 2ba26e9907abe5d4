#include "support/scripted_serial_device.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

struct ScriptedSerialLine::Shared {
  struct Step {
    enum Kind { Bytes, Quiet, ReadError, WaitError, HangUp } kind;
    std::string bytes;
    int error = 0;
  };

  mutable std::mutex lock;
  mutable std::condition_variable changed;
  std::deque<Step> steps;
  bool woken = false;
  int openError = 0, stateError = 0, writeError = 0, modemError = 0;
  int modemBits = 0;
  SerialDcb state;
  std::string written;
  int opens = 0;
  bool open = false;
};

namespace {

using Shared = ScriptedSerialLine::Shared;  // file-local alias

class ScriptedSerialDevice : public ISerialDevice {
 public:
  explicit ScriptedSerialDevice(std::shared_ptr<Shared> shared) : m_s(std::move(shared)) {}
  ~ScriptedSerialDevice() override {
    std::lock_guard guard(m_s->lock);
    m_s->open = false;
    m_s->changed.notify_all();
  }

  int GetState(SerialDcb& dcb) const override {
    std::lock_guard guard(m_s->lock);
    const SerialDcb& kept = m_s->state;
    dcb.BaudRate = kept.BaudRate;
    dcb.ByteSize = kept.ByteSize;
    dcb.Parity = kept.Parity;
    dcb.StopBits = kept.StopBits;
    dcb.fOutxCtsFlow = kept.fOutxCtsFlow;
    dcb.fOutX = kept.fOutX;
    dcb.fInX = kept.fInX;
    return 0;
  }

  int SetState(const SerialDcb& dcb) override {
    std::lock_guard guard(m_s->lock);
    if (m_s->stateError) return m_s->stateError;
    m_s->state = dcb;
    return 0;
  }

  Wait WaitReadable(std::chrono::milliseconds timeout, bool watchData) override {
    std::unique_lock guard(m_s->lock);
    const bool ready = m_s->changed.wait_for(guard, timeout, [&] { return m_s->woken || (watchData && !m_s->steps.empty()); });
    if (!ready) return Wait::TimedOut;
    if (m_s->woken) {
      m_s->woken = false;
      return Wait::Woken;
    }
    if (m_s->steps.front().kind == Shared::Step::WaitError) {
      m_s->steps.pop_front();
      m_s->changed.notify_all();
      return Wait::Failed;
    }
    return Wait::Readable;
  }

  void Wake() override {
    std::lock_guard guard(m_s->lock);
    m_s->woken = true;
    m_s->changed.notify_all();
  }

  long Read(unsigned char* buffer, std::size_t size) override {
    std::lock_guard guard(m_s->lock);
    if (m_s->steps.empty() || size == 0) return 0;
    Shared::Step& step = m_s->steps.front();
    long result = 0;
    switch (step.kind) {
      case Shared::Step::HangUp: return -EIO;  // stays hung up
      case Shared::Step::WaitError: return 0;  // the wait reports it
      case Shared::Step::Quiet: m_s->steps.pop_front(); break;
      case Shared::Step::ReadError:
        result = -step.error;
        m_s->steps.pop_front();
        break;
      case Shared::Step::Bytes: {
        const std::size_t count = std::min(size, step.bytes.size());
        std::memcpy(buffer, step.bytes.data(), count);
        step.bytes.erase(0, count);
        if (step.bytes.empty()) m_s->steps.pop_front();
        result = static_cast<long>(count);
        break;
      }
    }
    m_s->changed.notify_all();
    return result;
  }

  long Write(const void* data, std::size_t size, std::chrono::milliseconds) override {
    std::lock_guard guard(m_s->lock);
    if (m_s->writeError) return -m_s->writeError;
    m_s->written.append(static_cast<const char*>(data), size);
    m_s->changed.notify_all();
    return static_cast<long>(size);
  }

  int GetModemBits(int& bits) const override {
    std::lock_guard guard(m_s->lock);
    if (m_s->modemError) return m_s->modemError;
    bits = m_s->modemBits;
    return 0;
  }
  int SetModemBits(int bits) override { return ChangeModem(bits, true); }
  int ClearModemBits(int bits) override { return ChangeModem(bits, false); }

 private:
  int ChangeModem(int bits, bool on) {
    std::lock_guard guard(m_s->lock);
    if (m_s->modemError) return m_s->modemError;
    m_s->modemBits = on ? m_s->modemBits | bits : m_s->modemBits & ~bits;
    return 0;
  }

  std::shared_ptr<Shared> m_s;
};

}  // namespace

ScriptedSerialLine::ScriptedSerialLine() : m_shared(std::make_shared<Shared>()) {}
ScriptedSerialLine::~ScriptedSerialLine() = default;

SerialDeviceOpener ScriptedSerialLine::Opener() {
  return [shared = m_shared](const std::string&, int& error) -> std::unique_ptr<ISerialDevice> {
    std::lock_guard guard(shared->lock);
    error = shared->openError;
    if (error) return nullptr;
    ++shared->opens;
    shared->open = true;
    return std::make_unique<ScriptedSerialDevice>(shared);
  };
}

namespace {
void ScriptedPush(Shared& s, Shared::Step step) {
  std::lock_guard guard(s.lock);
  s.steps.push_back(std::move(step));
  s.changed.notify_all();
}
}  // namespace

void ScriptedSerialLine::Feed(const std::string& bytes) { ScriptedPush(*m_shared, {Shared::Step::Bytes, bytes, 0}); }
void ScriptedSerialLine::Quiet() { ScriptedPush(*m_shared, {Shared::Step::Quiet, {}, 0}); }
void ScriptedSerialLine::FailRead(int error) { ScriptedPush(*m_shared, {Shared::Step::ReadError, {}, error}); }
void ScriptedSerialLine::FailWait() { ScriptedPush(*m_shared, {Shared::Step::WaitError, {}, 0}); }
void ScriptedSerialLine::HangUp() { ScriptedPush(*m_shared, {Shared::Step::HangUp, {}, 0}); }

void ScriptedSerialLine::FailOpen(int error) {
  std::lock_guard guard(m_shared->lock);
  m_shared->openError = error;
}
void ScriptedSerialLine::FailState(int error) {
  std::lock_guard guard(m_shared->lock);
  m_shared->stateError = error;
}
void ScriptedSerialLine::FailWrite(int error) {
  std::lock_guard guard(m_shared->lock);
  m_shared->writeError = error;
}
void ScriptedSerialLine::FailModem(int error) {
  std::lock_guard guard(m_shared->lock);
  m_shared->modemError = error;
}
void ScriptedSerialLine::SetInputLines(int bits) {
  std::lock_guard guard(m_shared->lock);
  constexpr int kOutputs = kModemDtr | kModemRts;
  m_shared->modemBits = (m_shared->modemBits & kOutputs) | (bits & ~kOutputs);
}

std::string ScriptedSerialLine::Written() const {
  std::lock_guard guard(m_shared->lock);
  return m_shared->written;
}

bool ScriptedSerialLine::WaitWritten(const std::string& text, std::chrono::milliseconds timeout) const {
  std::unique_lock guard(m_shared->lock);
  return m_shared->changed.wait_for(guard, timeout, [&] { return m_shared->written.ends_with(text); });
}

bool ScriptedSerialLine::WaitDrained(std::chrono::milliseconds timeout) const {
  std::unique_lock guard(m_shared->lock);
  return m_shared->changed.wait_for(guard, timeout, [&] {
    return m_shared->steps.empty() || m_shared->steps.front().kind == Shared::Step::HangUp;
  });
}

int ScriptedSerialLine::ModemBits() const {
  std::lock_guard guard(m_shared->lock);
  return m_shared->modemBits;
}
SerialDcb ScriptedSerialLine::State() const {
  std::lock_guard guard(m_shared->lock);
  return m_shared->state;
}
int ScriptedSerialLine::Opens() const {
  std::lock_guard guard(m_shared->lock);
  return m_shared->opens;
}
bool ScriptedSerialLine::IsOpen() const {
  std::lock_guard guard(m_shared->lock);
  return m_shared->open;
}
