#include "sonar/real_time_stepper.h"

#include <algorithm>
#include <chrono>
#include <limits>

#include "host/host_time.h"

namespace {

// The clock is read again at least this often, so that a moved test clock or
// a fed source is noticed without a wake-up.
constexpr double kMaxWaitSeconds = 0.5;
// Shortest sleep; keeps a clock that stands still from turning the loop into a spin.
constexpr double kMinWaitSeconds = 0.001;

}  // namespace

CRealTimeStepper::CRealTimeStepper(StepFunction step, NextFunction next)
    : m_step(std::move(step)), m_next(std::move(next)) {}

CRealTimeStepper::~CRealTimeStepper() { Stop(); }

void CRealTimeStepper::Start() {
  std::lock_guard run(m_runLock);
  if (m_thread.joinable()) return;
  {
    std::lock_guard guard(m_threadLock);
    m_stop = false;
    m_wake = false;
  }
  m_thread = std::thread(&CRealTimeStepper::Run, this);
}

void CRealTimeStepper::Stop() {
  std::lock_guard run(m_runLock);
  if (!m_thread.joinable()) return;
  {
    std::lock_guard guard(m_threadLock);
    m_stop = true;
  }
  m_wakeUp.notify_all();
  m_thread.join();
}

bool CRealTimeStepper::Running() const {
  std::lock_guard run(m_runLock);
  return m_thread.joinable();
}

void CRealTimeStepper::Wake() {
  {
    std::lock_guard guard(m_threadLock);
    m_wake = true;
  }
  m_wakeUp.notify_all();
}

void CRealTimeStepper::Run() {
  double lastNow = std::numeric_limits<double>::quiet_NaN();
  std::unique_lock lock(m_threadLock);
  while (!m_stop) {
    m_wake = false;
    lock.unlock();
    const double now = TmSync::GetTm();
    m_step(now);
    const double next = m_next();
    lock.lock();
    // A clock that did not move since the last pass (a test clock) is only
    // looked at again after the longest wait or a wake-up.
    const double wait =
        now == lastNow ? kMaxWaitSeconds : std::clamp(next - now, kMinWaitSeconds, kMaxWaitSeconds);
    lastNow = now;
    m_wakeUp.wait_for(lock, std::chrono::duration<double>(wait), [this] { return m_stop || m_wake; });
  }
}
