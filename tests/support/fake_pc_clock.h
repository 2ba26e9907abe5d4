// A PC clock for tests: proxies made while a ScopedFakePcClock lives read a
// time the test chooses and record every attempt to set it, and the machine's
// clock is never reached.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "time/pc_clock.h"

struct FakePcClockState {
  std::mutex lock;
  double now = 0.0;             // what GetTime reads
  unsigned long setResult = 0;  // what SetTime returns
  std::vector<double> sets;     // every SetTime argument, in order
};

// Installs the fake for the scope, with PC clock setting switched as asked;
// restores the previous factory and switch afterwards.
class ScopedFakePcClock {
 public:
  explicit ScopedFakePcClock(bool settingOn, double now = 0.0)
      : m_state(std::make_shared<FakePcClockState>()), m_wasOn(CGpsTimeSync::IsPcClockSettingEnabled()) {
    m_state->now = now;
    m_previous = CSystemTimeProxy::SetFactory([state = m_state] { return std::make_unique<Proxy>(state); });
    CGpsTimeSync::EnablePcClockSetting(settingOn);
  }
  ~ScopedFakePcClock() {
    CGpsTimeSync::EnablePcClockSetting(m_wasOn);
    CSystemTimeProxy::SetFactory(std::move(m_previous));
  }
  ScopedFakePcClock(const ScopedFakePcClock&) = delete;
  ScopedFakePcClock& operator=(const ScopedFakePcClock&) = delete;

  FakePcClockState* operator->() const { return m_state.get(); }

 private:
  class Proxy : public CSystemTimeProxy {
   public:
    explicit Proxy(std::shared_ptr<FakePcClockState> state) : m_state(std::move(state)) {}
    double GetTime() override {
      std::lock_guard guard(m_state->lock);
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

  std::shared_ptr<FakePcClockState> m_state;
  bool m_wasOn;
  CSystemTimeProxy::Factory m_previous;
};
