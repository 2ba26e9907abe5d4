#include "support/scripted_serial_device.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <tuple>

struct ScriptedSerialLine::Shared {
  struct Step {
    enum Kind { Bytes, Quiet, ReadError, WaitError } kind;
    std::string bytes;
    int error = 0;
  };

  mutable std::mutex lock;
  mutable std::condition_variable changed;
  std::deque<Step> steps;
  bool woken = false;
  int openError = 0, writeError = 0, modemBits = 0;
  SerialDcb state;
  std::string written;
  bool open = false;
};

namespace {

using Shared = ScriptedSerialLine::Shared;

class ScriptedSerialDevice : public ISerialDevice {
 public:
  explicit ScriptedSerialDevice(std::shared_ptr<Shared> shared) : m_s(std::move(shared)) {}
  ~ScriptedSerialDevice() override { Locked([](Shared& s) { s.open = false; }); }
  // The rate, framing and flow control, as the termios device reads them back.
  int GetState(SerialDcb& dcb) const override {
    std::lock_guard guard(m_s->lock);
    const SerialDcb& kept = m_s->state;
    std::tie(dcb.BaudRate, dcb.ByteSize, dcb.Parity, dcb.StopBits) =
        std::tie(kept.BaudRate, kept.ByteSize, kept.Parity, kept.StopBits);
    std::tie(dcb.fOutxCtsFlow, dcb.fOutX, dcb.fInX) = std::tie(kept.fOutxCtsFlow, kept.fOutX, kept.fInX);
    return 0;
  }
  int SetState(const SerialDcb& dcb) override { return Locked([&](Shared& s) { s.state = dcb; }); }
  Wait WaitReadable(std::chrono::milliseconds timeout, bool watchData) override {
    std::unique_lock guard(m_s->lock);
    const auto ready = [&] { return m_s->woken || (watchData && !m_s->steps.empty()); };
    if (!m_s->changed.wait_for(guard, timeout, ready)) return Wait::TimedOut;
    if (m_s->woken) {
      m_s->woken = false;
      return Wait::Woken;
    }
    if (m_s->steps.front().kind != Shared::Step::WaitError) return Wait::Readable;
    m_s->steps.pop_front();
    return Wait::Failed;
  }
  void Wake() override { Locked([](Shared& s) { s.woken = true; }); }
  long Read(unsigned char* buffer, std::size_t size) override {
    std::lock_guard guard(m_s->lock);
    if (m_s->steps.empty() || size == 0 || m_s->steps.front().kind == Shared::Step::WaitError) return 0;
    Shared::Step& step = m_s->steps.front();
    long result = step.kind == Shared::Step::ReadError ? -step.error : 0;
    if (step.kind == Shared::Step::Bytes) {
      const std::size_t count = std::min(size, step.bytes.size());
      std::memcpy(buffer, step.bytes.data(), count);
      step.bytes.erase(0, count);
      result = static_cast<long>(count);
    }
    if (step.bytes.empty()) m_s->steps.pop_front();
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
  int GetModemBits(int& bits) const override { return Locked([&](Shared& s) { bits = s.modemBits; }); }
  int SetModemBits(int bits) override { return Locked([&](Shared& s) { s.modemBits |= bits; }); }
  int ClearModemBits(int bits) override { return Locked([&](Shared& s) { s.modemBits &= ~bits; }); }

 private:
  template <typename Change>
  int Locked(Change change) const {
    std::lock_guard guard(m_s->lock);
    change(*m_s);
    m_s->changed.notify_all();
    return 0;
  }

  std::shared_ptr<Shared> m_s;
};

void Push(Shared& s, Shared::Step step) {
  std::lock_guard guard(s.lock);
  s.steps.push_back(std::move(step));
  s.changed.notify_all();
}

void Set(Shared& s, int Shared::*field, int value) {
  std::lock_guard guard(s.lock);
  s.*field = value;
}

template <typename T>
T Get(const Shared& s, T Shared::*field) {
  std::lock_guard guard(s.lock);
  return s.*field;
}

}  // namespace

ScriptedSerialLine::ScriptedSerialLine() : m_shared(std::make_shared<Shared>()) {}

SerialDeviceOpener ScriptedSerialLine::Opener() {
  return [shared = m_shared](const std::string&, int& error) -> std::unique_ptr<ISerialDevice> {
    std::lock_guard guard(shared->lock);
    error = shared->openError;
    if (error) return nullptr;
    shared->open = true;
    return std::make_unique<ScriptedSerialDevice>(shared);
  };
}

void ScriptedSerialLine::Feed(const std::string& bytes) { Push(*m_shared, {Shared::Step::Bytes, bytes, 0}); }
void ScriptedSerialLine::Quiet() { Push(*m_shared, {Shared::Step::Quiet, {}, 0}); }
void ScriptedSerialLine::FailRead(int error) { Push(*m_shared, {Shared::Step::ReadError, {}, error}); }
void ScriptedSerialLine::FailWait() { Push(*m_shared, {Shared::Step::WaitError, {}, 0}); }
void ScriptedSerialLine::FailOpen(int error) { Set(*m_shared, &Shared::openError, error); }
void ScriptedSerialLine::FailWrite(int error) { Set(*m_shared, &Shared::writeError, error); }
std::string ScriptedSerialLine::Written() const { return Get(*m_shared, &Shared::written); }
bool ScriptedSerialLine::IsOpen() const { return Get(*m_shared, &Shared::open); }
bool ScriptedSerialLine::WaitWritten(const std::string& text, std::chrono::milliseconds timeout) const {
  std::unique_lock guard(m_shared->lock);
  return m_shared->changed.wait_for(guard, timeout, [&] { return m_shared->written.ends_with(text); });
}
