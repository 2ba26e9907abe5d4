// A PC clock for tests: proxies made while a ScopedFakePcClock lives read a
// time the test chooses and record every attempt to set it, and the machine's
// clock is never reached.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "time/pc_clock.h"

struct FakePcClockState {
  mutable std::mutex lock;
  double now = 0.0;                // what GetTime reads
  unsigned long setResult = 0;     // what SetTime returns
  int created = 0;
  int destroyed = 0;
  int reads = 0;
  std::vector<double> sets;        // every SetTime argument, in order
};

class FakeSystemTimeProxy : public CSystemTimeProxy {
 public:
  explicit FakeSystemTimeProxy(std::shared_ptr<FakePcClockState> state) : m_state(std::move(state)) {
    std::lock_guard guard(m_state->lock);
    ++m_state->created;
  }
  ~FakeSystemTimeProxy() override {
    std::lock_guard guard(m_state->lock);
    ++m_state->destroyed;
  }
  double GetTime() override {
    std::lock_guard guard(m_state->lock);
    ++m_state->reads;
    return m_state->now;
  }
  unsigned long SetTime(double hostSeconds) override {
    std::lock_guard guard(m_state->lock);
    m_state->sets.push_back(hostSeconds);
    if (m_state->setResult == 0) m_state->now = hostSeconds;
    return m_state->setResult;
  }

 private:
  std::shared_ptr<FakePcClockState> m_state;
};

// Installs the fake for the scope, with PC clock setting switched as asked;
// restores the previous factory and switch afterwards.
class ScopedFakePcClock {
 public:
  explicit ScopedFakePcClock(bool settingOn, double now = 0.0)
      : m_state(std::make_shared<FakePcClockState>()),
        m_wasOn(CGpsTimeSync::IsPcClockSettingEnabled()) {
    m_state->now = now;
    m_previous = CSystemTimeProxy::SetFactory(
        [state = m_state] { return std::make_unique<FakeSystemTimeProxy>(state); });
    CGpsTimeSync::EnablePcClockSetting(settingOn);
  }
  ~ScopedFakePcClock() {
    CGpsTimeSync::EnablePcClockSetting(m_wasOn);
    CSystemTimeProxy::SetFactory(std::move(m_previous));
  }
  ScopedFakePcClock(const ScopedFakePcClock&) = delete;
  ScopedFakePcClock& operator=(const ScopedFakePcClock&) = delete;

  FakePcClockState& operator*() const { return *m_state; }
  FakePcClockState* operator->() const { return m_state.get(); }

 private:
  std::shared_ptr<FakePcClockState> m_state;
  bool m_wasOn;
  CSystemTimeProxy::Factory m_previous;
};
